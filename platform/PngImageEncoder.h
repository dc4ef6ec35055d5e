#pragma once

#include "platform/ImageEncoder.h"

namespace platform {

// PNG through libpng: a palette PNG of an indexed picture, an RGB one else.
class PngImageEncoder final : public ImageEncoder {
 public:
  std::vector<std::string> Extensions() const override { return {"png"}; }
  bool Encode(const EncoderPicture& picture, std::string_view extension,
              std::string& bytes) const override;
};

}  // namespace platform
