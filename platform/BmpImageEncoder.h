#pragma once

#include "platform/ImageEncoder.h"

namespace platform {

// Windows bitmaps without compression: 1 bit per pixel for a picture of two
// palette entries, 8 bits for other indexed pictures, 24 bits for RGB.
class BmpImageEncoder final : public ImageEncoder {
 public:
  std::vector<std::string> Extensions() const override { return {"bmp"}; }
  bool Encode(const EncoderPicture& picture, std::string_view extension,
              std::string& bytes) const override;
};

}  // namespace platform
