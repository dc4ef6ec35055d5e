#include "desktop/roomcorrection/KlfCardHost.h"

#include <cstdio>

#include "protocol/unit/Klf310Image.h"

namespace desktop::roomcorrection {

std::string KlfCardHost(std::span<const std::uint8_t> image) {
  using Img = protocol::unit::Klf310Image;
  if (image.size() < Img::kIp + Img::kAddressSize) return "";
  char text[16];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", image[Img::kIp], image[Img::kIp + 1],
                image[Img::kIp + 2], image[Img::kIp + 3]);
  return text;
}

}  // namespace desktop::roomcorrection
