#include "installer/Installer.h"

#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/HandheldProcesses.h"
#include "remote/link/DevicesFile.h"

namespace installer {

namespace {

std::string Join(std::string_view folder, std::string_view name) {
  return std::string(folder) + "\\" + std::string(name);
}

platform::RegistryValue Dword(std::uint32_t v) {
  return {platform::kRegDword,
          {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
           static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)}};
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Reads up to `size` bytes, short only at the end of the file.
ssize_t ReadBlock(int fd, std::uint8_t* buffer, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(fd, buffer + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

}  // namespace

Installer::Build Installer::ChooseBuild(int osMajor, bool thirdPartyStack) {
  const char* version = osMajor == 4 ? "4" : "5";
  if (!thirdPartyStack) return {std::string("WavrixBTMS") + version + ".exe", "", ""};
  return {std::string("WavrixBTWC") + version + ".exe", kOtherLibrary, kThirdPartyLibrary};
}

Installer::Installer(const platform::HandheldEnv& env, platform::Registry& registry,
                     platform::Prompt& prompt, platform::Clock& clock)
    : env_(env), registry_(registry), prompt_(prompt), clock_(clock), store_(registry, env) {
  // The shell makes its special folders when they are first asked for.
  for (std::string_view folder :
       {platform::kFolderPrograms, platform::kFolderFonts, platform::kFolderWindows,
        platform::kFolderStartMenu, platform::kFolderStartup}) {
    if (const auto path = env_.MapPath(folder)) {
      std::error_code ec;
      std::filesystem::create_directories(*path, ec);
    }
  }
}

std::string Installer::SourcePath(const std::string& name) const {
  return store_.CardFolder() + name;
}

bool Installer::Start() {
  std::error_code ec;
  const auto stack = env_.MapPath(Join(platform::kFolderWindows, kThirdPartyLibrary));
  build_ = ChooseBuild(env_.OsMajor(), stack && std::filesystem::is_regular_file(*stack, ec));
  StopRunningCopy();
  store_.Load();  // an unreadable hive leaves the store empty; the merge still runs
  AdjustHandheld();
  return LoadLogo();
}

void Installer::StopRunningCopy() {
  const platform::HandheldProcesses processes(env_);
  for (pid_t pid : processes.Find(build_.program)) platform::HandheldProcesses::Terminate(pid);
}

void Installer::AdjustHandheld() {
  std::string ignored;
  registry_.Modify(
      platform::Hive::kCurrentUser,
      [](platform::RegistryHive& hive) {
        // The key is there when it or a key below it is.
        if (!hive.HasKey(kControlPanel) && !hive.HasKey(kVolumeKey) &&
            !hive.HasKey(kBacklightKey)) {
          return;
        }
        if (hive.HasKey(kVolumeKey)) {
          for (const char* name : kVolumeValues) hive.Set(kVolumeKey, name, Dword(0));
        }
        if (hive.HasKey(kBacklightKey)) {
          for (const char* name : kBacklightValues) hive.Set(kBacklightKey, name, Dword(1));
        }
      },
      ignored);
  // The backlight and sound services of this platform read the registry when
  // they next start; there is no running service to tell.
  registry_.Modify(
      platform::Hive::kLocalMachine,
      [](platform::RegistryHive& hive) {
        // Without the parent there are no subkeys to delete either.
        for (const char* key : kButtonKeys) hive.DeleteKey(Join(kShellKeys, key));
      },
      ignored);
}

bool Installer::LoadLogo() {
  const auto path = env_.MapPath(SourcePath(kLogo));
  std::string error;
  return path && LogoBitmap::Load(*path, logo_, error);
}

bool Installer::Unchanged(const std::string& installed) {
  const auto source = env_.MapPath(SourcePath(build_.program));
  const auto target = env_.MapPath(installed);
  if (!source || !target) return false;
  Fd a(::open(source->c_str(), O_RDONLY | O_CLOEXEC));
  Fd b(::open(target->c_str(), O_RDONLY | O_CLOEXEC));
  if (a.get() < 0 || b.get() < 0) return false;
  // Lengths and bytes both: a card copy that ends on a block boundary is not
  // the same program as a longer installed one that starts like it.
  std::vector<std::uint8_t> blockA(kCompareBlock), blockB(kCompareBlock);
  for (;;) {
    const ssize_t n = ReadBlock(a.get(), blockA.data(), blockA.size());
    const ssize_t m = ReadBlock(b.get(), blockB.data(), blockB.size());
    if (n < 0 || m < 0 || n != m) return false;
    if (n == 0) return true;
    if (!std::equal(blockA.begin(), blockA.begin() + n, blockB.begin())) return false;
  }
}

Installer::Outcome Installer::Work() {
  const std::string installFolder = Join(platform::kFolderPrograms, kInstallFolderName);
  if (const auto path = env_.MapPath(installFolder)) {
    std::error_code ec;
    std::filesystem::create_directory(*path, ec);
  }
  const std::string installed = Join(installFolder, build_.program);
  const std::string quotedTarget = "\"" + installed + "\"";

  if (Unchanged(installed)) {
    std::string why;
    if (platform::HandheldProcesses(env_).Start(installed, {kInitArgument},
                                                platform::kFolderStartup, &why) <= 0) {
      prompt_.Error(kCaption, kTextNotStarted + why);
      return Outcome::kNotStarted;
    }
    return Outcome::kStartedUnchanged;
  }

  std::uint64_t range = 0;
  for (const std::string& name : {build_.program, std::string(kFont), std::string(kBoldFont)}) {
    std::error_code ec;
    if (const auto path = env_.MapPath(SourcePath(name))) {
      const auto size = std::filesystem::file_size(*path, ec);
      if (!ec) range += size;
    }
  }
  range_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(range, UINT32_MAX));
  progressShown_ = true;

  // Every file is written whole beside its place first; only when all are
  // there do they replace the installed ones, so a failed copy leaves the
  // old installation as it was.
  std::vector<Staged> staged;
  bool failed = false;
  if (!build_.firstLibrary.empty()) {
    failed |= !Stage(build_.firstLibrary, installFolder, false, staged);
  }
  if (!build_.secondLibrary.empty()) {
    failed |= !Stage(build_.secondLibrary, installFolder, false, staged);
  }
  failed |= !Stage(kFont, platform::kFolderFonts, false, staged);
  failed |= !Stage(kBoldFont, platform::kFolderFonts, false, staged);
  failed |= !Stage(build_.program, installFolder, true, staged);
  if (!failed) failed = !PutInPlace(staged);
  staged.clear();  // what was not put in place goes
  // Told only now: a message box waits for the user, and no half-made file
  // should wait with it.
  for (const std::string& text : untold_) prompt_.Error(kCaption, text);
  untold_.clear();

  ImportDevices();
  store_.Save();

  if (!failed) failed = !MakeShortcuts(quotedTarget);
  progressShown_ = false;
  return failed ? Outcome::kNotInstalled : Outcome::kInstalled;
}

bool Installer::Stage(const std::string& name, std::string_view folder, bool strict,
                      std::vector<Staged>& staged) {
  const std::string sourcePath = SourcePath(name);
  const auto source = env_.MapPath(sourcePath);
  Fd in(source ? ::open(source->c_str(), O_RDONLY | O_CLOEXEC) : -1);
  struct stat st {};
  if (in.get() < 0 || ::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    untold_.push_back(kTextCantOpen + sourcePath);
    return false;
  }
  const std::string targetPath = Join(folder, name);
  const auto target = env_.MapPath(targetPath);
  // The program starts whatever mode the card gave its file.
  auto writer = target ? std::make_unique<platform::AtomicFileWriter>(
                             *target, strict ? 0755u : 0644u, false, targetPath)
                       : nullptr;
  std::string error;
  if (!writer || !writer->Open(error)) {
    copied_ += static_cast<std::uint32_t>(st.st_size);
    return Unplaceable(strict);
  }
  std::uint8_t block[kCopyBlock];
  for (;;) {
    const ssize_t n = ReadBlock(in.get(), block, sizeof block);
    if (n < 0) {
      untold_.push_back(kTextCantOpen + sourcePath);
      return false;
    }
    if (n == 0) break;
    if (!writer->Write({reinterpret_cast<const char*>(block), static_cast<std::size_t>(n)},
                       error)) {
      untold_.push_back(kTextCantWrite + error);
      return false;
    }
    copied_ += static_cast<std::uint32_t>(n);
  }
  if (!writer->SetTimes(st.st_atim, st.st_mtim, error) || !writer->Flush(error)) {
    untold_.push_back(kTextCantWrite + error);
    return false;
  }
  staged.push_back({std::move(writer), strict});
  return true;
}

bool Installer::Unplaceable(bool strict) {
  if (!strict) {
    clock_.Sleep(kInUsePauseMs);  // the one in place stays
    return true;
  }
  untold_.push_back(kTextExitFirst);
  return false;
}

bool Installer::PutInPlace(std::vector<Staged>& staged) {
  // The program first: when it cannot be replaced, nothing is.
  std::stable_partition(staged.begin(), staged.end(), [](const Staged& s) { return s.strict; });
  for (Staged& s : staged) {
    std::string error;
    if (!s.writer->Commit(error) && !Unplaceable(s.strict)) return false;
  }
  return true;
}

bool Installer::MakeShortcuts(const std::string& quotedTarget) {
  if (const auto programs = env_.MapPath(platform::kFolderPrograms)) {
    std::error_code ec;
    for (const auto& item : std::filesystem::directory_iterator(*programs, ec)) {
      const std::string name = item.path().filename().string();
      if (fnmatch(kOldShortcutPattern, name.c_str(), FNM_CASEFOLD) == 0) {
        std::error_code removeError;
        std::filesystem::remove(item.path(), removeError);
      }
    }
  }
  const std::string text = platform::ShortcutText(quotedTarget);
  bool ok = true;
  for (std::string_view folder : {platform::kFolderStartup, platform::kFolderStartMenu}) {
    const std::string shortcut = Join(folder, kShortcutName);
    const auto path = env_.MapPath(shortcut);
    std::string error = shortcut + ": not a path on the handheld";
    platform::AtomicFileWriter writer(path.value_or(""), 0644, false, shortcut);
    if (!path || !writer.Open(error) || !writer.Write(text, error) || !writer.Commit(error)) {
      prompt_.Error(kCaption, kTextCantWrite + error);
      ok = false;
    }
  }
  return ok;
}

void Installer::ImportDevices() {
  const auto path = env_.MapPath(SourcePath(std::string(remote::link::DeviceStore::kDevicesFile)));
  if (!path) return;
  std::vector<remote::link::ImportedDevice> devices;
  std::string error;
  if (!remote::link::ReadDevicesFile(*path, devices, error)) return;
  for (const auto& d : devices) store_.Merge(d.entry, d.isDefault);
}

}  // namespace installer
