#pragma once

#include <cstdint>

#include "desktop/firmware/DoloPacket.h"
#include "desktop/firmware/WorkerMessages.h"
#include "desktop/unitlink/CTiroUSB.h"
#include "platform/CWinThread.h"
#include "platform/Clock.h"
#include "platform/MessageTarget.h"
#include "protocol/unit/DownloadBlock.h"
#include "protocol/unit/ProcessorRecord.h"

namespace desktop::firmware {

// Loads new software into one signal processor of a QVO520 card: the pair of
// packages for the processor's model and component, announced with command 165,
// sent in blocks of at most 22 bytes with 166 and closed with 167. Reports to
// its owner only through WM_CARD_DOWNLOAD_PROGRESS and WM_CARD_DOWNLOAD_FINISHED
// (with its reason code); there is no cancel.
//
// Created suspended; Resume starts it. The owner keeps the object until the
// finished message arrives and then destroys it, which joins the thread.
class CCardDoloThread : public platform::CWinThread {
 public:
  static constexpr std::size_t kBlockSize = protocol::unit::DownloadBlock::kMaxCardData;
  // A command that fails is asked again this often in all before the download
  // gives up: a lost block would leave the card with a broken image.
  static constexpr int kAttempts = 10;

  static constexpr const char* kTextErasing = "Erasing firmware ...";
  static constexpr const char* kTextTimeout = "Timeout!";
  static constexpr const char* kTextProgress =
      "%u%%: Download of V%d.%03d in progress (%ld Bytes/s) ...";
  static constexpr const char* kTextCantWrite = "ERROR: Can't write to device";
  static constexpr const char* kTextRefused = "ERROR: The card did not accept the new software";

  enum Result : std::intptr_t { kSuccess = 0, kFailure = 1 };

  // `processor` 0 is the left, 1 the right processor; `record` is the 40-byte
  // record it reported, which names the packages.
  CCardDoloThread(std::uint8_t module, std::uint8_t processor,
                  const protocol::unit::ProcessorRecord& record, platform::MessageTarget& owner,
                  unitlink::CTiroUSB& usb, platform::Clock& clock,
                  const _DoloPacket* list = GetDoloBase());
  ~CCardDoloThread() override;

  const char* GetRuntimeClassName() const override { return "CCardDoloThread"; }

  std::uint8_t Processor() const { return processor_; }

  // The two packages for a processor's software: the first part (any kind,
  // found first) and the second (kind 3). False when either is missing.
  static bool FindPackages(const _DoloPacket* list, int model, int component,
                           const _DoloPacket*& first, const _DoloPacket*& second);

 protected:
  bool InitInstance() override;
  int Run() override;

 private:
  UpdateReason Download();
  template <typename Operation>
  bool Retried(Operation operation);

  const std::uint8_t module_;
  const std::uint8_t processor_;
  const protocol::unit::ProcessorRecord record_;
  platform::MessageTarget& owner_;
  unitlink::CTiroUSB& usb_;
  platform::Clock& clock_;
  const _DoloPacket* const list_;
};

}  // namespace desktop::firmware
