#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "installer/LogoBitmap.h"
#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "platform/HandheldEnv.h"
#include "platform/Prompt.h"
#include "platform/Registry.h"
#include "remote/link/DeviceStore.h"

namespace installer {

// What Autorun does on the handheld, without its window: picks the remote's
// build, stops a running copy of it, adjusts the handheld, and then (in the
// worker) either starts an unchanged installation or copies the build, its
// libraries and fonts into place, merges the card's Devices.txt and creates
// the shortcuts.
class Installer {
 public:
  struct Build {
    std::string program;
    std::string firstLibrary;  // empty: nothing to copy
    std::string secondLibrary;
  };
  enum class Outcome {
    kStartedUnchanged,  // the installed program was the card's: started with "-init"
    kInstalled,         // copied; the settings saved
    kNotStarted,        // the installed program was the card's, but it could not be started
    kNotInstalled,      // a copy failed: what was installed stays as it was
  };

  static constexpr const char* kCaption = "Wavrix Setup";
  static constexpr const char* kThirdPartyLibrary = "BtSdkCE30.dll";
  static constexpr const char* kOtherLibrary = "BtCoreIf.dll";
  static constexpr const char* kFont = "GOTHIC.TTF";
  static constexpr const char* kBoldFont = "GOTHICB.TTF";
  static constexpr const char* kLogo = "logo.bmp";
  static constexpr const char* kInstallFolderName = "Wavrix";
  static constexpr const char* kShortcutName = "Valdur Wavrix.lnk";
  static constexpr const char* kOldShortcutPattern = "Valdur Wavrix*.*";
  static constexpr const char* kInitArgument = "-init";
  static constexpr const char* kTextCantOpen = "Can't open source ";
  static constexpr const char* kTextExitFirst = "Please exit Wavrix first!";
  static constexpr const char* kTextNotStarted = "Wavrix could not be started: ";
  static constexpr const char* kTextCantWrite = "Can't write ";
  static constexpr std::size_t kCompareBlock = 16384;
  static constexpr std::size_t kCopyBlock = 1024;
  static constexpr std::uint32_t kInUsePauseMs = 500;

  // The handheld adjustments.
  static constexpr std::string_view kControlPanel = "ControlPanel";
  static constexpr std::string_view kVolumeKey = "ControlPanel\\Volume";
  static constexpr std::string_view kBacklightKey = "ControlPanel\\Backlight";
  static constexpr std::string_view kShellKeys = "SOFTWARE\\Microsoft\\Shell\\Keys";
  static constexpr const char* kVolumeValues[] = {"Screen", "Key", "Volume"};
  static constexpr const char* kBacklightValues[] = {"Brightness", "BacklightPos",
                                                     "BacklightLuminanceLevel"};
  static constexpr const char* kButtonKeys[] = {"40C5", "40C6"};

  // Only OS 4 takes the "4" builds; the third-party stack takes the WC builds.
  static Build ChooseBuild(int osMajor, bool thirdPartyStack);

  Installer(const platform::HandheldEnv& env, platform::Registry& registry,
            platform::Prompt& prompt, platform::Clock& clock);

  // The dialog's start-up: false when it ends at once (no logo), after the
  // running copy was stopped and the handheld adjusted.
  bool Start();
  // The worker's part; runs on its own thread.
  Outcome Work();

  // Loads the logo from the card; false when it is missing or broken.
  bool LoadLogo();
  const LogoBitmap& Logo() const { return logo_; }
  const Build& ChosenBuild() const { return build_; }
  const std::string& SourceFolder() const { return store_.CardFolder(); }

  // Read by the progress timer while the worker writes them.
  std::uint32_t BytesCopied() const { return copied_.load(std::memory_order_relaxed); }
  std::uint32_t ProgressRange() const { return range_.load(); }
  bool ProgressShown() const { return progressShown_.load(); }

 private:
  void StopRunningCopy();
  void AdjustHandheld();
  bool Unchanged(const std::string& installed);
  struct Staged {
    std::unique_ptr<platform::AtomicFileWriter> writer;  // written whole, not yet in place
    bool strict;                                         // the program: it must be replaced
  };
  // Writes one file from the card beside its place in `folder`; false (why
  // kept for the user) when that fails. A tolerant file that cannot be written
  // there is skipped: the one in place stays.
  bool Stage(const std::string& name, std::string_view folder, bool strict,
             std::vector<Staged>& staged);
  // A file that cannot be put in its place: skipped after a pause when
  // tolerant; the user to be asked to exit the remote when strict.
  bool Unplaceable(bool strict);
  bool PutInPlace(std::vector<Staged>& staged);
  bool MakeShortcuts(const std::string& quotedTarget);
  void ImportDevices();
  std::string SourcePath(const std::string& name) const;

  const platform::HandheldEnv& env_;
  platform::Registry& registry_;
  platform::Prompt& prompt_;
  platform::Clock& clock_;
  remote::link::DeviceStore store_;
  Build build_;
  LogoBitmap logo_;
  std::vector<std::string> untold_;  // what the user is told once the copies are done
  std::atomic<std::uint32_t> copied_{0};
  std::atomic<std::uint32_t> range_{0};
  std::atomic<bool> progressShown_{false};
};

}  // namespace installer
