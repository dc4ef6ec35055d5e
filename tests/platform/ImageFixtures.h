#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/ImageEncoder.h"

namespace testing_support {

// The unit's display picture: 483 × 259, white (0) and blue (1), a blue frame
// and a diagonal of lit 2 × 2 pixels inside.
inline platform::EncoderPicture DisplayPicture() {
  platform::EncoderPicture picture;
  picture.width = 483;
  picture.height = 259;
  picture.palette = {{255, 255, 255}, {0, 0, 255}};
  picture.pixels.assign(483u * 259u, 1);
  for (int y = 1; y < 258; ++y) {
    for (int x = 1; x < 482; ++x) picture.pixels[static_cast<std::size_t>(y * 483 + x)] = 0;
  }
  for (int i = 2; i < 250; ++i) picture.pixels[static_cast<std::size_t>(i * 483 + i)] = 1;
  return picture;
}

// What ImageMagick's identify makes of a file: "FORMAT WIDTHxHEIGHT COLOURS",
// or an empty text when it cannot read it.
inline std::string Identify(const std::filesystem::path& file) {
  const std::string command = "identify -format '%m %wx%h %k' '" + file.string() + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {};
  std::string out;
  char buffer[256];
  while (fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
  pclose(pipe);
  return out;
}

inline std::vector<std::string> FilesIn(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

}  // namespace testing_support
