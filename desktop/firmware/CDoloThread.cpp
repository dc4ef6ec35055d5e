#include "desktop/firmware/CDoloThread.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "desktop/firmware/WorkerMessages.h"
#include "platform/Bytes.h"
#include "protocol/unit/DownloadBlock.h"
#include "protocol/unit/Frame.h"

namespace desktop::firmware {

namespace {

namespace pu = protocol::unit;
// A download block laid out like a command frame, as WriteDownloadBlock takes it.
constexpr std::size_t kOffBlockAddress = pu::RequestHeader::kSize + pu::DownloadBlock::kAddress;
constexpr std::size_t kOffBlockCount = pu::RequestHeader::kSize + pu::DownloadBlock::kCount;
constexpr std::size_t kOffBlockData = pu::RequestHeader::kSize + pu::DownloadBlock::kData;

}  // namespace

CDoloThread::CDoloThread(bool boot, platform::MessageTarget& owner, unitlink::CTiroUSB& usb,
                         platform::Clock& clock, const _DoloPacket* list)
    : boot_(boot), owner_(owner), usb_(usb), clock_(clock), list_(list) {}

CDoloThread::~CDoloThread() {
  Join();
}

bool CDoloThread::InitInstance() {
  return true;
}

int CDoloThread::Run() {
  owner_.Post(WM_WORKER_STARTED, 0);
  const UpdateReason reason = Update();
  owner_.Post(WM_WORKER_FINISHED, reason == UpdateReason::kDone ? 1 : 0, {},
              static_cast<std::intptr_t>(reason));
  return 0;  // the message loop's exit code; the result went with WM_WORKER_FINISHED
}

// Up to 8 polls 2 s apart, leaving at the first success, then one more test.
bool CDoloThread::WaitForUnit() {
  for (int poll = 0; poll < kPresencePolls; ++poll) {
    clock_.Sleep(kPollIntervalMs);
    if (usb_.IsDevicePresent()) break;
  }
  return usb_.IsDevicePresent();
}

UpdateReason CDoloThread::Update() {
  constexpr auto kStep = StatusParam(StatusKind::kStep);
  constexpr auto kUnitGone = StatusParam(StatusKind::kFault, UpdateReason::kUnitGone);
  const _DoloPacket* image =
      FindDoloPacket(list_, kDoloUnitImage, kModelMrx, boot_ ? kComponentBoot : kComponentHost);
  if (image == nullptr) {
    owner_.Send(WM_WORKER_STATUS, 0, kTextNotFound,
                StatusParam(StatusKind::kFault, UpdateReason::kNotFound));
    return UpdateReason::kNotFound;
  }

  // From the erase until the unit is told to start, a stop leaves it without software.
  owner_.Post(WM_WORKER_UNSAFE, 1);
  owner_.Post(WM_WORKER_STATUS, 0, boot_ ? kTextEraseBoot : kTextEraseHost, kStep);
  // The results of erase, begin, end and start are not tested: a failure shows
  // as a unit that does not come back or as blocks that fail.
  if (boot_) {
    usb_.EraseBoot();
  } else {
    usb_.EraseHost();
  }
  if (!WaitForUnit()) {
    owner_.Post(WM_WORKER_STATUS, 0, kTextRestart, kUnitGone);
    return UpdateReason::kUnitGone;
  }
  clock_.Sleep(kBeginPauseMs);
  usb_.BeginDownload();

  const std::uint32_t total = DoloImageSize(*image);
  const std::uint32_t start = clock_.TickCount();
  std::uint32_t lastReport = 0;  // so the first block is always reported
  std::uint32_t sent = 0;
  bool error = false;
  std::array<std::uint8_t, pu::kFrameSize> block{};
  for (const DoloSegment* segment = image->segments; segment != nullptr; segment = segment->next) {
    for (std::uint32_t offset = 0; offset < segment->length; offset += kBlockSize) {
      const auto count =
          static_cast<std::uint16_t>(std::min<std::uint32_t>(kBlockSize, segment->length - offset));
      // Unit images are even; should one not be, its odd last byte
      // goes out padded with the erased-flash value, so every block is even.
      const auto padded = static_cast<std::uint16_t>(count + (count & 1));
      platform::PutU32(block, kOffBlockAddress, segment->address + offset);
      platform::PutU16(block, kOffBlockCount, padded);
      std::memcpy(&block[kOffBlockData], segment->data + offset, count);
      if (padded != count) block[kOffBlockData + count] = 0xFF;
      sent += count;

      bool written = false;
      for (int attempt = 0; attempt < kAttempts && !written; ++attempt) {
        written = usb_.WriteDownloadBlock(block.data());
      }
      if (!written) {
        owner_.Post(WM_WORKER_STATUS, 0, kTextCantWrite,
                    StatusParam(StatusKind::kFault, UpdateReason::kBlockRefused));
        error = true;
        // A unit that vanished and does not come back within the presence
        // polling takes no further block: stop here instead of trying every
        // remaining block a hundred times.
        if (!usb_.IsDevicePresent() && !WaitForUnit()) {
          owner_.Post(WM_WORKER_STATUS, 0, kTextRestart, kUnitGone);
          return UpdateReason::kUnitGone;
        }
        continue;
      }
      const std::uint32_t now = clock_.TickCount();
      if (error || now - lastReport <= kReportIntervalMs) continue;
      lastReport = now;
      const auto percentage =
          static_cast<unsigned>(total == 0 ? 100 : std::uint64_t{sent} * 100 / total);
      const std::uint32_t elapsed = now - start;
      const long speed =
          elapsed > 0 ? static_cast<long>(sent / (elapsed / 1000.0)) : static_cast<long>(sent);
      char text[128];
      std::snprintf(text, sizeof text, kTextProgress, percentage, DoloMajor(image->version),
                    DoloMinor(image->version), speed);
      owner_.Post(WM_WORKER_STATUS, percentage, text, StatusParam(StatusKind::kProgress));
    }
  }

  usb_.EndDownload();
  if (!boot_) usb_.StartHost();
  owner_.Post(WM_WORKER_UNSAFE, 0);
  clock_.Sleep(kFinalPauseMs);
  if (error) return UpdateReason::kBlockRefused;
  owner_.Post(WM_WORKER_STATUS, 100, kTextFinished, kStep);
  return UpdateReason::kDone;
}

}  // namespace desktop::firmware
