#include "platform/qt/ImageEncoders.h"

#include <memory>

#include "platform/GifImageEncoder.h"
#include "platform/qt/QtImageEncoder.h"

namespace platform::qt {

ImageEncoderRegistry MakeImageEncoders() {
  ImageEncoderRegistry registry;
  registry.Add(std::make_unique<GifImageEncoder>());
  registry.Add(std::make_unique<QtImageEncoder>());
  return registry;
}

}  // namespace platform::qt
