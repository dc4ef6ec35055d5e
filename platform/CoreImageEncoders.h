#pragma once

#include "platform/ImageEncoderRegistry.h"

namespace platform {

// The encoders of programs without Qt: GIF (giflib), BMP and PNG (libpng).
ImageEncoderRegistry MakeCoreImageEncoders();

}  // namespace platform
