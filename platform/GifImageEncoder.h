#pragma once

#include "platform/ImageEncoder.h"

namespace platform {

// GIF through giflib: a palette GIF of the picture's own colours; an RGB
// picture of more than 256 colours is quantised to 256.
class GifImageEncoder final : public ImageEncoder {
 public:
  std::vector<std::string> Extensions() const override { return {"gif"}; }
  bool Encode(const EncoderPicture& picture, std::string_view extension,
              std::string& bytes) const override;
};

}  // namespace platform
