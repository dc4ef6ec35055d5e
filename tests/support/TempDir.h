#pragma once

#include <stdlib.h>

#include <filesystem>

namespace testing_support {

// A temporary directory removed with everything in it.
class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/mrx-test-XXXXXX";
    if (mkdtemp(tmpl) != nullptr) path_ = tmpl;
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace testing_support
