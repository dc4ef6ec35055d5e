#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/ImageEncoder.h"

namespace platform {

// The image encoders by file extension, compared without regard to case. The
// first encoder added that claims an extension writes it.
class ImageEncoderRegistry {
 public:
  void Add(std::unique_ptr<ImageEncoder> encoder);
  // The encoder for the path's extension, or null.
  const ImageEncoder* Find(const std::filesystem::path& path) const;
  std::vector<std::string> Extensions() const;
  // Writes the picture in the format of the path's extension (or of
  // `formatOf`'s when given: "-" has none) where the user named it, as
  // WriteOutputFile does: a regular file all or nothing, a FIFO or device
  // written through, "-" standard output. An extension no encoder claims, a
  // picture that cannot be encoded or a failed write leave the file system
  // as it was. `error` says why.
  bool Save(const EncoderPicture& picture, const std::filesystem::path& path, std::string& error,
            const std::filesystem::path& formatOf = {}) const;

 private:
  std::vector<std::unique_ptr<ImageEncoder>> encoders_;
};

}  // namespace platform
