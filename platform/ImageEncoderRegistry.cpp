#include "platform/ImageEncoderRegistry.h"

#include <algorithm>
#include <cctype>

#include "platform/AtomicFile.h"

namespace platform {

namespace {

std::string LowerExtension(const std::filesystem::path& path) {
  std::string extension = path.extension().string();
  if (!extension.empty()) extension.erase(0, 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

}  // namespace

bool EncoderPicture::IsValid() const {
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) return false;
  const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  if (kind == Kind::Rgb) return pixels.size() == count * 3;
  if (palette.empty() || palette.size() > 256 || pixels.size() != count) return false;
  return std::all_of(pixels.begin(), pixels.end(),
                     [this](std::uint8_t index) { return index < palette.size(); });
}

void ImageEncoderRegistry::Add(std::unique_ptr<ImageEncoder> encoder) {
  if (encoder) encoders_.push_back(std::move(encoder));
}

const ImageEncoder* ImageEncoderRegistry::Find(const std::filesystem::path& path) const {
  const std::string extension = LowerExtension(path);
  if (extension.empty()) return nullptr;
  for (const auto& encoder : encoders_) {
    const auto claimed = encoder->Extensions();
    if (std::find(claimed.begin(), claimed.end(), extension) != claimed.end()) {
      return encoder.get();
    }
  }
  return nullptr;
}

std::vector<std::string> ImageEncoderRegistry::Extensions() const {
  std::vector<std::string> all;
  for (const auto& encoder : encoders_) {
    for (std::string& extension : encoder->Extensions()) {
      if (std::find(all.begin(), all.end(), extension) == all.end()) {
        all.push_back(std::move(extension));
      }
    }
  }
  return all;
}

bool ImageEncoderRegistry::Save(const EncoderPicture& picture, const std::filesystem::path& path,
                                std::string& error, const std::filesystem::path& formatOf) const {
  const std::filesystem::path& format = formatOf.empty() ? path : formatOf;
  const ImageEncoder* encoder = Find(format);
  if (encoder == nullptr) {
    error = path.string() + ": no image encoder for this file extension";
    return false;
  }
  if (!picture.IsValid()) {
    error = path.string() + ": the picture is not a valid image";
    return false;
  }
  std::string bytes;
  if (!encoder->Encode(picture, LowerExtension(format), bytes) || bytes.empty()) {
    error = path.string() + ": the picture could not be encoded";
    return false;
  }
  return WriteOutputFile(path.string(), bytes, error);
}

}  // namespace platform
