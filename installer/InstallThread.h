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
  // What the work came to; valid once Done.
  Installer::Outcome Result() const { return outcome_.load(); }

 protected:
  int Run() override {
    outcome_ = installer_.Work();
    done_ = true;
    return static_cast<int>(outcome_.load());
  }

 private:
  Installer& installer_;
  std::atomic<Installer::Outcome> outcome_{Installer::Outcome::kNotInstalled};
  std::atomic<bool> done_{false};
};

}  // namespace installer
