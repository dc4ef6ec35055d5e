#include "desktop/handheld/CPPCDoloThread.h"

#include <cstdio>

#include "desktop/firmware/WorkerMessages.h"
#include "platform/LocalTime.h"

namespace desktop::handheld {

namespace fw = desktop::firmware;

CPPCDoloThread::CPPCDoloThread(platform::MessageTarget& owner, platform::RemoteApi& api,
                               platform::Prompt& prompt, platform::Clock& clock,
                               const fw::_DoloPacket* list, std::uint32_t connectWaitMs)
    : owner_(owner),
      api_(api),
      prompt_(prompt),
      clock_(clock),
      list_(list),
      connectWaitMs_(connectWaitMs) {}

CPPCDoloThread::~CPPCDoloThread() {
  Join();
}

bool CPPCDoloThread::InitInstance() {
  return true;
}

int CPPCDoloThread::Run() {
  constexpr auto kStep = fw::StatusParam(fw::StatusKind::kStep);
  fw::UpdateReason reason = fw::UpdateReason::kNoHandheld;
  owner_.Post(fw::WM_WORKER_STATUS, 0, kTextWaiting, kStep);
  if (!api_.Init(clock_, connectWaitMs_)) {
    prompt_.Error(kCaptionProgram, kTextNoSync);
  } else {
    owner_.Post(fw::WM_WORKER_STARTED, 0);
    if (api_.ProcessorArchitecture() != platform::RemoteApi::kArchitectureArm) {
      prompt_.Error(kCaptionProgram, kTextWrongArchitecture);
      reason = fw::UpdateReason::kWrongHandheld;
    } else {
      owner_.Post(fw::WM_WORKER_STATUS, 0, kTextUpdating, kStep);
      reason = Deploy();
      const bool ok = reason == fw::UpdateReason::kDone;
      owner_.Post(fw::WM_WORKER_STATUS, 100, ok ? kTextFinished : kTextError,
                  ok ? kStep : fw::StatusParam(fw::StatusKind::kFault, reason));
    }
    api_.Uninit();
  }
  // wParam stays 0, as the page expects of this worker; the reason code tells the outcome.
  owner_.Post(fw::WM_WORKER_FINISHED, 0, {}, static_cast<std::intptr_t>(reason));
  return reason == fw::UpdateReason::kDone ? 1 : 0;
}

std::string CPPCDoloThread::FindStorageCard() {
  std::string card;
  platform::RemoteApi::FindData data;
  const auto find = api_.FindFirst("\\*.*", data);
  if (find == platform::RemoteApi::kInvalidHandle) return card;
  do {
    constexpr std::uint32_t kCard = platform::kAttrDirectory | platform::kAttrTemporary;
    if ((data.attributes & kCard) == kCard) card = data.name;  // the last one listed wins
  } while (api_.FindNext(find, data));
  api_.FindClose(find);
  return card;
}

fw::UpdateReason CPPCDoloThread::Deploy() {
  const std::string card = FindStorageCard();
  std::string folder;
  bool haveFolder = false;
  if (!card.empty()) {
    char text[kMaxTargetFolder];
    // A name too long for the folder is no card to write to: cut short, the
    // path would name another folder.
    const int length = std::snprintf(text, sizeof text, kTargetFolderFormat, card.c_str());
    folder = text;
    platform::RemoteApi::FindData data;
    if (length > 0 && static_cast<std::size_t>(length) < sizeof text) {
      const auto find = api_.FindFirst(folder, data);
      if (find != platform::RemoteApi::kInvalidHandle) {
        api_.FindClose(find);
        haveFolder = (data.attributes & platform::kAttrDirectory) != 0;
      } else {
        haveFolder = api_.CreateDirectory(folder);
      }
    }
  }
  if (!haveFolder) {
    prompt_.Error(kCaptionNoCard, kTextNoCard);
    return fw::UpdateReason::kNoStorageCard;
  }

  total_ = 0;
  for (const PackageFile& f : kFiles) {
    if (const auto* r =
            fw::FindDoloPacket(list_, fw::kDoloHandheldFile, kModelHandheld, f.component)) {
      total_ += fw::DoloImageSize(*r);
    }
  }
  copied_ = 0;
  bool ok = true;
  for (const PackageFile& f : kFiles) ok = CopyPackageFile(folder, f.name, f.component) && ok;
  char installer[kMaxFilePath];
  const int length =
      std::snprintf(installer, sizeof installer, "%s\\%s", folder.c_str(), kInstaller);
  // Once started, the installer reports for itself on the handheld; a start
  // that fails leaves the handheld without the update.
  std::string why = std::string(folder) + "\\" + kInstaller + ": path too long";
  bool started = false;
  if (length > 0 && static_cast<std::size_t>(length) < sizeof installer) {
    started = api_.CreateProcess(installer) > 0;
    why = api_.LastError();
  }
  if (!started) prompt_.Error(kCaptionProgram, kTextNotStarted + why);
  return ok && started ? fw::UpdateReason::kDone : fw::UpdateReason::kCopyFailed;
}

bool CPPCDoloThread::CopyPackageFile(const std::string& folder, const char* name,
                                     std::uint16_t component) {
  int status = fw::kDoloNotFound;
  const fw::_DoloPacket* record =
      fw::FindDoloPacket(list_, fw::kDoloHandheldFile, kModelHandheld, component, &status);
  if (record == nullptr || status != fw::kDoloFound) return true;  // not carried by this build
  const std::uint32_t size = fw::DoloImageSize(*record);
  char path[kMaxFilePath];
  const int length = std::snprintf(path, sizeof path, "%s\\%s", folder.c_str(), name);
  // A path cut short would write the file under another name.
  const auto file = length > 0 && static_cast<std::size_t>(length) < sizeof path
                        ? api_.CreateFile(path)
                        : platform::RemoteApi::kInvalidHandle;
  if (file == platform::RemoteApi::kInvalidHandle) {
    copied_ += size;
    return false;
  }
  bool ok = true;
  if (record->segments != nullptr) {
    ok = api_.WriteFile(file, std::span(record->segments->data, record->segments->length));
  }
  platform::LocalTime when;
  when.year = record->year;
  when.month = record->month;
  when.day = record->day;
  when.hour = record->hour;
  when.minute = record->minute;
  when.second = record->second;
  api_.SetFileTime(file, platform::FromLocalTime(when));
  ok = api_.CloseHandle(file) && ok;
  copied_ += size;
  const unsigned percent = total_ == 0 ? 100u : static_cast<unsigned>(copied_ * 100.0 / total_);
  char text[64];
  std::snprintf(text, sizeof text, kTextProgress, percent);
  status_ = text;
  owner_.Send(fw::WM_WORKER_STATUS, static_cast<std::intptr_t>(percent), status_,
              fw::StatusParam(fw::StatusKind::kProgress));
  return ok;
}

}  // namespace desktop::handheld
