#pragma once

#include "platform/ImageEncoderRegistry.h"

namespace platform::qt {

// The programs' encoders: GIF through giflib (a palette GIF whatever Qt's
// plug-ins offer), then BMP and every other format of the Qt image writer.
ImageEncoderRegistry MakeImageEncoders();

}  // namespace platform::qt
