#include "desktop/firmware/CCardDoloThread.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "protocol/unit/CardDownloadBegin.h"
#include "protocol/unit/Frame.h"

namespace desktop::firmware {

namespace {

namespace pu = protocol::unit;
// WriteCardBlock takes the block laid out like a frame: length at 1, data at 6.
constexpr std::size_t kOffLength = pu::RequestHeader::kLength;
constexpr std::size_t kOffBlock = pu::RequestHeader::kSize;

}  // namespace

CCardDoloThread::CCardDoloThread(std::uint8_t module, std::uint8_t processor,
                                 const pu::ProcessorRecord& record, platform::MessageTarget& owner,
                                 unitlink::CTiroUSB& usb, platform::Clock& clock,
                                 const _DoloPacket* list)
    : module_(module),
      processor_(processor),
      record_(record),
      owner_(owner),
      usb_(usb),
      clock_(clock),
      list_(list) {}

CCardDoloThread::~CCardDoloThread() {
  Join();
}

bool CCardDoloThread::InitInstance() {
  return true;
}

int CCardDoloThread::Run() {
  const UpdateReason reason = Download();
  owner_.Post(WM_CARD_DOWNLOAD_FINISHED, reason == UpdateReason::kDone ? kSuccess : kFailure, {},
              static_cast<std::intptr_t>(reason));
  return 0;
}

bool CCardDoloThread::FindPackages(const _DoloPacket* list, int model, int component,
                                   const _DoloPacket*& first, const _DoloPacket*& second) {
  const auto m = static_cast<std::uint16_t>(model);
  const auto c = static_cast<std::uint16_t>(component);
  // The first part stands before the second, so the wildcard finds it.
  first = FindDoloPacket(list, DOLO_ANY, m, c);
  second = FindDoloPacket(list, kDoloCardDspSecond, m, c);
  return first != nullptr && second != nullptr;
}

template <typename Operation>
bool CCardDoloThread::Retried(Operation operation) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (operation()) return true;
  }
  return false;
}

UpdateReason CCardDoloThread::Download() {
  const _DoloPacket* first = nullptr;
  const _DoloPacket* second = nullptr;
  if (!FindPackages(list_, record_.model, record_.component, first, second)) {
    return UpdateReason::kNotFound;
  }

  const std::uint32_t total = DoloImageSize(*first) + DoloImageSize(*second);
  std::uint32_t sent = 0;
  owner_.Post(WM_CARD_DOWNLOAD_PROGRESS, 0, kTextErasing, StatusParam(StatusKind::kStep));

  pu::CardDownloadBegin begin;
  begin.processor = processor_;
  begin.versionMajor = static_cast<std::uint8_t>(DoloMajor(first->version));
  begin.versionMinor = static_cast<std::uint16_t>(DoloMinor(first->version));
  begin.day = first->day;
  begin.month = first->month;
  begin.year = first->year;
  begin.checksum = DoloChecksum(*first) + DoloChecksum(*second);
  const auto beginBytes = begin.Encode();
  // From the begin until the card closes the download, a stop leaves the
  // processor without software.
  owner_.Post(WM_WORKER_UNSAFE, 1);
  if (!Retried([&] { return usb_.BeginCardDownload(module_, beginBytes.data()); })) {
    owner_.Post(WM_CARD_DOWNLOAD_PROGRESS, 0, kTextTimeout,
                StatusParam(StatusKind::kFault, UpdateReason::kCardSilent));
    return UpdateReason::kCardSilent;
  }

  const std::uint32_t start = clock_.TickCount();
  bool written = true;
  std::array<std::uint8_t, pu::kFrameSize> frame{};
  for (const _DoloPacket* part : {first, second}) {
    for (const DoloSegment* s = part->segments; s != nullptr && written; s = s->next) {
      for (std::uint32_t offset = 0; offset < s->length && written; offset += kBlockSize) {
        const std::uint32_t count = std::min<std::uint32_t>(kBlockSize, s->length - offset);
        pu::DownloadBlock block;
        block.address = s->address + offset;
        block.data = {s->data + offset, count};
        frame[kOffLength] = static_cast<std::uint8_t>(
            block.EncodeInto(std::span<std::uint8_t>(frame).subspan(kOffBlock)));
        // A block lost on the way would leave a hole in the card's image.
        written = Retried([&] { return usb_.WriteCardBlock(module_, processor_, frame.data()); });
        if (!written) break;
        sent += count;
        const std::uint32_t elapsed = clock_.TickCount() - start;
        const long rate =
            elapsed > 0 ? static_cast<long>(sent / (elapsed / 1000.0)) : static_cast<long>(sent);
        const auto percent = static_cast<unsigned>(std::uint64_t{sent} * 100 / total);
        char text[128];
        std::snprintf(text, sizeof text, kTextProgress, percent, DoloMajor(first->version),
                      DoloMinor(first->version), rate);
        owner_.Post(WM_CARD_DOWNLOAD_PROGRESS, percent, text, StatusParam(StatusKind::kProgress));
      }
    }
  }
  if (!written) {
    owner_.Post(WM_CARD_DOWNLOAD_PROGRESS, 0, kTextCantWrite,
                StatusParam(StatusKind::kFault, UpdateReason::kBlockRefused));
    // Closes the card's download; it checks the image and keeps its old software.
    usb_.EndCardDownload(module_, processor_);
    owner_.Post(WM_WORKER_UNSAFE, 0);
    return UpdateReason::kBlockRefused;
  }
  // The card checks the announced checksum here and refuses a broken image.
  const bool ended = Retried([&] { return usb_.EndCardDownload(module_, processor_); });
  owner_.Post(WM_WORKER_UNSAFE, 0);
  if (!ended) {
    // A refusal and an answer lost on the way look alike here: the version
    // the processor reports afterwards tells them apart.
    owner_.Post(WM_CARD_DOWNLOAD_PROGRESS, 0, kTextRefused,
                StatusParam(StatusKind::kFault, UpdateReason::kUnanswered));
    return UpdateReason::kUnanswered;
  }
  return UpdateReason::kDone;
}

}  // namespace desktop::firmware
