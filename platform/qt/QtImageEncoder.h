#pragma once

#include <string>
#include <vector>

#include "platform/ImageEncoder.h"

namespace platform::qt {

// BMP and the other formats the Qt image writer can write. A picture of at
// most two colours is written as a 1-bit image where the format has one.
class QtImageEncoder final : public ImageEncoder {
 public:
  // The writable formats of this Qt installation.
  QtImageEncoder();

  std::vector<std::string> Extensions() const override { return extensions_; }
  bool Encode(const EncoderPicture& picture, std::string_view extension,
              std::string& bytes) const override;

 private:
  std::vector<std::string> extensions_;
};

}  // namespace platform::qt
