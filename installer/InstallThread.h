#pragma once

#include <atomic>

#include "installer/Installer.h"
#include "platform/CWinThread.h"

namespace installer {

// Autorun's one worker: the copy, merge and start of the installer, beside
// the dialog. Created suspended and joined by the dialog.
class InstallThread final : public platform::CWinThread {
 public:
  explicit InstallThread(Installer& installer) : installer_(installer) {}
  ~InstallThread() override { Join(); }
  const char* GetRuntimeClassName() const override { return "InstallThread"; }
  bool Done() const { return done_.load(); }

 protected:
  int Run() override {
    const int outcome = static_cast<int>(installer_.Work());
    done_ = true;
    return outcome;
  }

 private:
  Installer& installer_;
  std::atomic<bool> done_{false};
};

}  // namespace installer
