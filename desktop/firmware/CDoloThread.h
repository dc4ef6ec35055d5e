#pragma once

#include <cstdint>

#include "desktop/firmware/DoloPacket.h"
#include "desktop/firmware/WorkerMessages.h"
#include "desktop/unitlink/CTiroUSB.h"
#include "platform/CWinThread.h"
#include "platform/Clock.h"
#include "platform/MessageTarget.h"
#include "protocol/unit/DownloadBlock.h"
#include "protocol/unit/ModelNames.h"

namespace desktop::firmware {

// Replaces the main unit's boot or host software over USB: erase,
// wait for the unit to come back, send the image in address-tagged blocks,
// end, and start new host software. Reports every step to its owner with
// WM_WORKER_STARTED, WM_WORKER_STATUS and WM_WORKER_FINISHED (with its reason
// code); there is no cancel.
//
// Created suspended; Resume starts it. The owner keeps the object until
// WM_WORKER_FINISHED arrives and then destroys it, which joins the thread.
class CDoloThread : public platform::CWinThread {
 public:
  static constexpr std::size_t kBlockSize = protocol::unit::DownloadBlock::kMaxMainData;
  static constexpr int kAttempts = 100;  // per block
  static constexpr int kPresencePolls = 8;
  static constexpr std::uint32_t kPollIntervalMs = 2000;
  static constexpr std::uint32_t kBeginPauseMs = 2000;
  static constexpr std::uint32_t kReportIntervalMs = 200;  // progress at most this often
  static constexpr std::uint32_t kFinalPauseMs = 1000;

  // Package keys of the two images.
  static constexpr std::uint16_t kModelMrx = protocol::unit::model::kMrx;
  static constexpr std::uint16_t kComponentBoot = protocol::unit::component::kBoot;
  static constexpr std::uint16_t kComponentHost = protocol::unit::component::kHost;

  static constexpr const char* kTextNotFound = "FATAL: Software not found!";
  static constexpr const char* kTextEraseBoot =
      "Erasing boot - DON'T SWITCH OFF OR DISCONNECT MRX!!!";
  static constexpr const char* kTextEraseHost = "Erasing firmware ...";
  static constexpr const char* kTextRestart = "ERROR: Please restart unit!";
  static constexpr const char* kTextCantWrite = "ERROR: Can't write to device";
  static constexpr const char* kTextProgress =
      "%u%%: Download of V%d.%03d in progress (%ld Bytes/s) ...";
  static constexpr const char* kTextFinished = "Download finished!";

  // `boot` picks the boot image (6, 1, 1) instead of the host image (6, 1, 2)
  // from the list at `list`. Commands go to the transport's default address.
  CDoloThread(bool boot, platform::MessageTarget& owner, unitlink::CTiroUSB& usb,
              platform::Clock& clock, const _DoloPacket* list = GetDoloBase());
  ~CDoloThread() override;

  const char* GetRuntimeClassName() const override { return "CDoloThread"; }

 protected:
  bool InitInstance() override;
  int Run() override;

 private:
  UpdateReason Update();
  bool WaitForUnit();

  const bool boot_;
  platform::MessageTarget& owner_;
  unitlink::CTiroUSB& usb_;
  platform::Clock& clock_;
  const _DoloPacket* const list_;
};

}  // namespace desktop::firmware
