#pragma once

#include <cstdint>
#include <string>

#include "desktop/firmware/DoloPacket.h"
#include "desktop/firmware/WorkerMessages.h"
#include "platform/CWinThread.h"
#include "platform/Clock.h"
#include "platform/MessageTarget.h"
#include "platform/Prompt.h"
#include "platform/RemoteApi.h"

namespace desktop::handheld {

// Copies the remote control, its installer and their files from the package
// list to the folder "2577" on the handheld's storage card and starts the
// installer there. Reports to its owner with WM_WORKER_STARTED,
// WM_WORKER_STATUS and WM_WORKER_FINISHED (with its reason code); there is no
// cancel.
//
// Created suspended; Resume starts it. The owner keeps the object until
// WM_WORKER_FINISHED arrives and then destroys it, which joins the thread.
// ExitCode is 1 after a deployment that copied every file and started the
// installer, else 0.
class CPPCDoloThread : public platform::CWinThread {
 public:
  // How long the handheld may take to be connected.
  static constexpr std::uint32_t kConnectWaitMs = 30000;

  static constexpr std::uint16_t kModelHandheld = 6;
  static constexpr const char* kTargetFolderFormat = "\\%s\\2577";
  static constexpr std::size_t kMaxTargetFolder = 260;
  static constexpr std::size_t kMaxFilePath = 200;
  static constexpr const char* kInstaller = "Autorun.exe";

  struct PackageFile {
    const char* name;
    std::uint16_t component;
  };
  // What goes to the card, in this order.
  static constexpr PackageFile kFiles[] = {
      {"Autorun.exe", 128},     {"Logo.bmp", 150},        {"WavrixBTWC4.exe", 130},
      {"WavrixBTMS4.exe", 140}, {"WavrixBTWC5.exe", 131}, {"WavrixBTMS5.exe", 141},
      {"BtCoreIf.dll", 153},    {"BtSdkCE30.dll", 154},   {"GOTHIC.TTF", 151},
      {"GOTHICB.TTF", 152},
  };

  static constexpr const char* kTextWaiting = "Waiting for connection ...";
  static constexpr const char* kTextNoSync = "ActiveSync not installed!";
  static constexpr const char* kTextWrongArchitecture = "Wrong PocketPC architecture!";
  static constexpr const char* kTextUpdating = "Pocket PC update ...";
  static constexpr const char* kTextNoCard = "Please insert SDCard into your PDA and retry!";
  static constexpr const char* kCaptionNoCard = "PDA Update";
  static constexpr const char* kCaptionProgram = "myMRX";
  static constexpr const char* kTextProgress = "%u%%: update in progress ...";
  static constexpr const char* kTextFinished = "Pocket PC update finished!";
  static constexpr const char* kTextError = "Pocket PC update ERROR!";
  static constexpr const char* kTextNotStarted = "The installer could not be started: ";

  CPPCDoloThread(platform::MessageTarget& owner, platform::RemoteApi& api, platform::Prompt& prompt,
                 platform::Clock& clock, const firmware::_DoloPacket* list = GetDoloBase(),
                 std::uint32_t connectWaitMs = kConnectWaitMs);
  ~CPPCDoloThread() override;

  const char* GetRuntimeClassName() const override { return "CPPCDoloThread"; }

  // Copies one package file into `folder`; true also when the list carries
  // no such file.
  bool CopyPackageFile(const std::string& folder, const char* name, std::uint16_t component);

 protected:
  bool InitInstance() override;
  int Run() override;

 private:
  firmware::UpdateReason Deploy();
  std::string FindStorageCard();

  platform::MessageTarget& owner_;
  platform::RemoteApi& api_;
  platform::Prompt& prompt_;
  platform::Clock& clock_;
  const firmware::_DoloPacket* const list_;
  const std::uint32_t connectWaitMs_;
  std::uint32_t total_ = 0;
  std::uint32_t copied_ = 0;
  std::string status_;
};

}  // namespace desktop::handheld
