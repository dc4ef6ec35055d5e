#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "desktop/firmware/DoloPacket.h"
#include "desktop/firmware/WorkerMessages.h"
#include "desktop/roomcorrection/KlfLink.h"
#include "platform/CWinThread.h"
#include "platform/Clock.h"
#include "platform/MessageTarget.h"
#include "platform/UniqueFd.h"
#include "protocol/klf/KlfMessage.h"
#include "protocol/unit/ModelNames.h"

namespace desktop::roomcorrection {

// Replaces the KLF310 card's software over TCP port 4000: wait for the card,
// start its boot software, wait again, erase, send the image in blocks of up
// to 1400 bytes, end and start. Reports to its owner with WM_WORKER_STARTED,
// WM_WORKER_STATUS, WM_WORKER_WAITING (how long it has waited for the card),
// WM_WORKER_UNSAFE (from the erase to the closing commands) and
// WM_WORKER_FINISHED (with its reason code); the owner sets its progress bar
// to 0-100 when it starts the worker.
//
// Every command counts only with the card's answer to that command. One
// without it is asked again on a new connection, kAttempts times in all; then
// the update fails (card silent before or at the erase, block refused for a
// block), except that after a failed block the end and start commands still
// go out, and an unanswered end or start leaves the outcome to the version
// the card reports afterwards (kUnanswered).
//
// Cancel ends the waits before the erase (nothing has been erased then); once
// the flash is erased the download runs to its end. Created suspended; the
// owner keeps the object until WM_WORKER_FINISHED and destroys it, which joins.
class CKLF310Thread : public platform::CWinThread {
 public:
  static constexpr std::uint32_t kRetryIntervalMs = 500;
  static constexpr std::uint32_t kBootPauseMs = 2000;  // after command 1
  static constexpr int kAttempts = 3;                  // per command
  // How long new connections for one command's attempts may take in all: the
  // card may be restarting.
  static constexpr std::uint32_t kReconnectMs = 10000;
  static constexpr std::size_t kBlockSize = protocol::klf::WriteBlock::kMaxImageBytes;
  static constexpr std::uint16_t kModel = protocol::unit::model::kMrx;
  static constexpr std::uint16_t kComponent = protocol::unit::component::kKlf310;

  static constexpr const char* kStepConnect = "Trying to connect";
  static constexpr const char* kStepBoot = "Connecting to boot software";
  static constexpr const char* kTextWaiting = "%s ... (%ld sec)";
  static constexpr const char* kTextStartBoot = "Start of boot software ...";
  static constexpr const char* kTextNotFound = "FATAL: Software not found!";
  static constexpr const char* kTextErasing = "Erasing flash memory ...";
  static constexpr const char* kTextCantWrite = "ERROR: Can't write to device";
  static constexpr const char* kTextProgress =
      "%u%%: Download of V%d.%03d in progress (%ld Bytes/s) ...";
  static constexpr const char* kTextFinished = "Download finished (%ld Bytes/s)!";
  static constexpr const char* kTextCancelled = "ERROR: Update cancelled!";
  static constexpr const char* kTextNoAnswer = "Waiting for an answer to the %s ... (%ld sec)";
  static constexpr const char* kTextSilent = "ERROR: The card did not answer the %s!";
  static constexpr const char* kTextUnconfirmed =
      "ERROR: The card did not confirm the %s; its version will tell whether it took the update";

  // `address` is the card's IPv4 address as dotted text.
  CKLF310Thread(platform::MessageTarget& owner, std::string address, platform::Clock& clock,
                const firmware::_DoloPacket* list = GetDoloBase(),
                std::uint16_t port = protocol::klf::kUpdatePort);
  ~CKLF310Thread() override;

  const char* GetRuntimeClassName() const override { return "CKLF310Thread"; }

  // Any thread; takes effect while the worker waits for the card.
  void Cancel();
  void SetLinkTimeouts(int connectMs, int exchangeMs) { link_.SetTimeouts(connectMs, exchangeMs); }

 protected:
  bool InitInstance() override;
  int Run() override;

 private:
  firmware::UpdateReason Update();
  bool WaitForCard(const char* step);
  // True when the card answered `request` with its own command code.
  bool Ask(std::span<const std::uint8_t> request, const char* what);
  bool Reconnect(std::uint64_t since, const char* what, long& shown);
  void ShowWait(std::uint64_t since, const char* what, long& shown);
  bool Sleep(std::uint32_t ms);
  void Status(std::intptr_t percentage, const std::string& text, std::intptr_t param);

  platform::MessageTarget& owner_;
  const std::string address_;
  platform::Clock& clock_;
  const firmware::_DoloPacket* const list_;
  const std::uint16_t port_;
  KlfLink link_;
  platform::UniqueFd cancelFd_;
  std::atomic<bool> cancelled_{false};
  bool unsafe_ = false;  // erased: waits no longer end on Cancel
};

}  // namespace desktop::roomcorrection
