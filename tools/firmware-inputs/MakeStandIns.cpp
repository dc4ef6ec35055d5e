// mrx_make_standins: writes the synthetic stand-ins for every file of the
// manifest, deterministically: Intel HEX images with the catalogue's shapes
// (segment counts and addresses of the catalogue) and small handheld files. Each
// begins with our ImageStamp (version and date of its row), so the simulator
// can report what it was given.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "desktop/firmware/DoloPacket.h"
#include "desktop/firmware/IntelHex.h"
#include "desktop/firmware/PackageInputs.h"
#include "platform/AtomicFile.h"
#include "protocol/unit/ImageStamp.h"

namespace fw = desktop::firmware;

namespace {

enum class Shape { kHost, kBoot, kOneSegment, kKlf310, kHandheld, kBitmap };

// The catalogue's shapes by package key.
struct ShapeRow {
  std::uint32_t kind;
  int model;
  int component;
  Shape shape;
  std::uint32_t address;  // kOneSegment
  std::uint32_t length;   // kOneSegment, kHandheld
};

constexpr ShapeRow kShapes[] = {
    {6, 1, 2, Shape::kHost, 0, 0},
    {6, 1, 1, Shape::kBoot, 0, 0},
    {5, 4, 19, Shape::kOneSegment, 0x10000, 0x5E00},
    {3, 4, 19, Shape::kOneSegment, 0x18000, 0x2A00},
    {5, 2, 12, Shape::kOneSegment, 0x10000, 0x8C00},
    {3, 2, 12, Shape::kOneSegment, 0x1C000, 0x1800},
    {10, 1, 39, Shape::kKlf310, 0, 0},
    {9, 6, 151, Shape::kHandheld, 0, 6144},
    {9, 6, 152, Shape::kHandheld, 0, 6400},
    {9, 6, 153, Shape::kHandheld, 0, 3072},
    {9, 6, 154, Shape::kHandheld, 0, 4096},
    {9, 6, 150, Shape::kBitmap, 0, 0},
    {9, 6, 128, Shape::kHandheld, 0, 2048},
    {9, 6, 140, Shape::kHandheld, 0, 8192},
    {9, 6, 141, Shape::kHandheld, 0, 8192},
};

// xorshift32: the same bytes on every machine and every build.
class Random {
 public:
  explicit Random(std::uint32_t seed) : state_(seed | 1) {}
  std::uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  std::uint32_t Even(std::uint32_t low, std::uint32_t span) { return 2 * (low + Next() % span); }

 private:
  std::uint32_t state_;
};

std::vector<std::uint8_t> Bytes(Random& random, std::size_t n) {
  std::vector<std::uint8_t> b(n);
  for (auto& x : b) x = static_cast<std::uint8_t>(random.Next() >> 11);
  return b;
}

void Stamp(const fw::ManifestRow& row, std::vector<std::uint8_t>& data) {
  protocol::unit::ImageStamp s{row.version, row.year,   row.month, row.day,
                               row.hour,    row.minute, row.second};
  const auto b = s.Encode();
  std::copy(b.begin(), b.end(), data.begin());
}

// 134 even segments in 0x10000-0x8FFFF: the first three contiguous, gaps after.
std::vector<fw::InputSegment> Host(Random& random) {
  std::vector<fw::InputSegment> out;
  std::uint32_t at = 0x10000;
  for (int i = 0; i < 134; ++i) {
    const std::uint32_t length = random.Even(512, 1024);  // 1 KiB to 3 KiB
    out.push_back({at, Bytes(random, length), 0});
    at += length;
    if (i >= 2) at += random.Even(1, 256);
  }
  return out;
}

// 9 segments within 0x0000-0x5691 (the last ends there) and 16 bytes at 0x7FF0.
std::vector<fw::InputSegment> Boot(Random& random) {
  std::vector<fw::InputSegment> out;
  constexpr std::uint32_t kEnd = 0x5692;
  for (std::uint32_t i = 0; i < 9; ++i) {
    const std::uint32_t start = (i * kEnd / 9) & ~1u;
    const std::uint32_t end = i == 8 ? kEnd : (((i + 1) * kEnd / 9) & ~1u) - random.Even(1, 64);
    out.push_back({start, Bytes(random, end - start), 0});
  }
  out.push_back({0x7FF0, Bytes(random, 16), 0});
  return out;
}

std::vector<std::uint8_t> Bitmap() {
  // A 32 x 32 picture of 24-bit pixels: a plain BMP the handheld can show.
  constexpr std::uint32_t kSide = 32, kPixels = kSide * kSide * 3, kHeader = 54;
  std::vector<std::uint8_t> b(kHeader + kPixels, 0);
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  b[0] = 'B', b[1] = 'M';
  put32(2, kHeader + kPixels);
  put32(10, kHeader);
  put32(14, 40);
  put32(18, kSide);
  put32(22, kSide);
  b[26] = 1, b[28] = 24;
  put32(34, kPixels);
  for (std::uint32_t y = 0; y < kSide; ++y) {
    for (std::uint32_t x = 0; x < kSide; ++x) {
      const std::size_t at = kHeader + (y * kSide + x) * 3;
      b[at] = static_cast<std::uint8_t>(x * 8), b[at + 1] = static_cast<std::uint8_t>(y * 8);
      b[at + 2] = (x + y) % 8 == 0 ? 0xFF : 0x40;
    }
  }
  return b;
}

std::optional<std::string> Make(const fw::ManifestRow& row) {
  const ShapeRow* shape = nullptr;
  for (const ShapeRow& s : kShapes) {
    if (s.kind == row.kind && s.model == row.model && s.component == row.component) shape = &s;
  }
  if (shape == nullptr) return std::nullopt;
  Random random(0x4D525835u ^ (row.kind << 24) ^ (std::uint32_t(row.model) << 16) ^
                std::uint32_t(row.component));
  std::vector<fw::InputSegment> segments;
  switch (shape->shape) {
    case Shape::kHost:
      segments = Host(random);
      break;
    case Shape::kBoot:
      segments = Boot(random);
      break;
    case Shape::kOneSegment:
      segments.push_back({shape->address, Bytes(random, shape->length), 0});
      break;
    case Shape::kKlf310:
      segments.push_back({0x40010000, Bytes(random, 0x2C000), 0});
      segments.push_back({0x4003FFF0, Bytes(random, 16), 0});
      break;
    case Shape::kHandheld: {
      auto data = Bytes(random, shape->length);
      Stamp(row, data);
      const std::string note = "MRX520 stand-in for " + row.file + "\n";
      std::copy(note.begin(), note.end(), data.begin() + protocol::unit::ImageStamp::kSize);
      return std::string(data.begin(), data.end());
    }
    case Shape::kBitmap: {
      const auto data = Bitmap();
      return std::string(data.begin(), data.end());
    }
  }
  Stamp(row, segments.front().data);
  return fw::WriteIntelHex(segments);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "Usage: mrx_make_standins MANIFEST OUTPUT-DIR\n");
    return 64;
  }
  const std::string manifestPath = argv[1];
  const std::filesystem::path outDir = argv[2];
  std::string text;
  if (!platform::ReadWholeFile(manifestPath, text)) {
    std::fprintf(stderr, "%s: error: cannot read the manifest\n", manifestPath.c_str());
    return 65;
  }
  std::vector<fw::ManifestRow> rows;
  fw::InputError error;
  if (!fw::ParseManifest(text, manifestPath, rows, error)) {
    std::fprintf(stderr, "%s:%d: error: %s\n", error.file.c_str(), error.line,
                 error.reason.c_str());
    return 65;
  }
  std::error_code ec;
  std::filesystem::create_directories(outDir, ec);
  for (const fw::ManifestRow& row : rows) {
    if (row.kind == fw::kDoloHead) continue;
    const auto content = Make(row);
    if (!content) {
      std::fprintf(stderr, "%s:%d: error: no stand-in shape for kind %u, model %d, component %d\n",
                   manifestPath.c_str(), row.line, row.kind, row.model, row.component);
      return 65;
    }
    std::string writeError;
    if (!platform::WriteFileAtomically(outDir / row.file, *content, writeError)) {
      std::fprintf(stderr, "mrx_make_standins: cannot write %s\n", writeError.c_str());
      return 73;
    }
  }
  return 0;
}
