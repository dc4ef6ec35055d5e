// The installer's logo loader: any bytes are loaded or refused, never read past.
#include <cstddef>
#include <cstdint>
#include <string>

#include "installer/LogoBitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  installer::LogoBitmap logo;
  std::string error;
  if (installer::LogoBitmap::Parse({data, size}, logo, error)) {
    for (int y = 0; y < logo.height; ++y) {
      for (int x = 0; x < logo.width; ++x) logo.Pixel(x, y);
    }
  }
  return 0;
}
