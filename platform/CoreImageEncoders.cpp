#include "platform/CoreImageEncoders.h"

#include "platform/BmpImageEncoder.h"
#include "platform/GifImageEncoder.h"
#include "platform/PngImageEncoder.h"

namespace platform {

ImageEncoderRegistry MakeCoreImageEncoders() {
  ImageEncoderRegistry registry;
  registry.Add(std::make_unique<GifImageEncoder>());
  registry.Add(std::make_unique<BmpImageEncoder>());
  registry.Add(std::make_unique<PngImageEncoder>());
  return registry;
}

}  // namespace platform
