#include "sim/DisplayRenderer.h"

#include <algorithm>

namespace sim {

namespace {

using Row = protocol::unit::DisplayRow;

// 5 x 7 glyphs, one byte per row, bit 4 = leftmost column.
inline constexpr int kGlyphWidth = 5;
inline constexpr int kGlyphHeight = 7;
inline constexpr int kGlyphAdvance = kGlyphWidth + 1;
struct Glyph {
  char ch;
  std::array<std::uint8_t, kGlyphHeight> rows;
};
inline constexpr Glyph kFont[] = {
    {' ', {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}},
    {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}},
    {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}},
    {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}},
    {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}},
    {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {',', {0x00, 0x00, 0x00, 0x00, 0x0C, 0x04, 0x08}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'+', {0x00, 0x04, 0x04, 0x1F, 0x04, 0x04, 0x00}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'/', {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x00}},
    {'%', {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03}},
    {'(', {0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02}},
    {')', {0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08}},
    {'&', {0x0C, 0x12, 0x14, 0x08, 0x15, 0x12, 0x0D}},
    {'\'', {0x0C, 0x04, 0x08, 0x00, 0x00, 0x00, 0x00}},
    {'!', {0x04, 0x04, 0x04, 0x04, 0x04, 0x00, 0x04}},
    {'?', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x00, 0x04}},
    {'_', {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1F}},
    {'=', {0x00, 0x00, 0x1F, 0x00, 0x1F, 0x00, 0x00}},
    {'#', {0x0A, 0x0A, 0x1F, 0x0A, 0x1F, 0x0A, 0x0A}},
    {'*', {0x00, 0x04, 0x15, 0x0E, 0x15, 0x04, 0x00}},
};

const Glyph& FindGlyph(char c) {
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');  // the display has no lower case
  const Glyph* unknown = nullptr;
  for (const Glyph& g : kFont) {
    if (g.ch == c) return g;
    if (g.ch == '?') unknown = &g;
  }
  return *unknown;
}

// Screen layout (pixels).
inline constexpr int kWidth = static_cast<int>(Row::kWidth);
inline constexpr int kHeight = static_cast<int>(Row::kHeight);
inline constexpr int kMargin = 4;
inline constexpr int kClockTop = 4;
inline constexpr int kLine1Top = 22;
inline constexpr int kLine2Top = 56;
inline constexpr int kLine3Top = 82;
inline constexpr int kLine1MaxScale = 3;
inline constexpr int kLine23MaxScale = 2;
inline constexpr int kStandbyClockScale = 4;
inline constexpr std::size_t kClockChars = 5;  // "HH:MM"
// The peak meter: one labelled bar per channel, in segments.
inline constexpr int kMeterTop[] = {102, 112};
inline constexpr char kMeterLabel[] = {'L', 'R'};
inline constexpr int kMeterLeft = 16;
inline constexpr int kMeterRight = kWidth - 8;  // last pixel + 1
inline constexpr int kMeterSegment = 4;         // pixels, the last one dark

struct TextItem {
  std::string_view text;
  int left;
  int top;
  int scale;
};

int TextWidth(std::size_t chars, int scale) {
  return chars == 0 ? 0 : static_cast<int>(chars) * kGlyphAdvance * scale - scale;
}

// Largest scale up to `maxScale` at which the text fits between the margins.
int FitScale(std::string_view text, int maxScale) {
  for (int s = maxScale; s > 1; --s) {
    if (TextWidth(text.size(), s) <= kWidth - 2 * kMargin) return s;
  }
  return 1;
}

TextItem Centred(std::string_view text, int top, int maxScale) {
  const int scale = FitScale(text, maxScale);
  return {text, std::max(kMargin, (kWidth - TextWidth(text.size(), scale)) / 2), top, scale};
}

using RowPixels = std::array<bool, Row::kWidth>;

void DrawTextRow(const TextItem& item, int row, int clipLeft, int clipRight, RowPixels& pixels) {
  if (row < item.top || row >= item.top + kGlyphHeight * item.scale) return;
  const int glyphRow = (row - item.top) / item.scale;
  for (std::size_t i = 0; i < item.text.size(); ++i) {
    const std::uint8_t bits = FindGlyph(item.text[i]).rows[static_cast<std::size_t>(glyphRow)];
    const int charLeft = item.left + static_cast<int>(i) * kGlyphAdvance * item.scale;
    for (int col = 0; col < kGlyphWidth; ++col) {
      if ((bits & (0x10 >> col)) == 0) continue;
      for (int dx = 0; dx < item.scale; ++dx) {
        const int x = charLeft + col * item.scale + dx;
        if (x >= clipLeft && x <= clipRight) pixels[static_cast<std::size_t>(x)] = true;
      }
    }
  }
}

void TwoDigits(int v, char* out) {
  v = std::clamp(v, 0, 99);
  out[0] = static_cast<char>('0' + v / 10);
  out[1] = static_cast<char>('0' + v % 10);
}

}  // namespace

Row::Bytes RenderDisplayRow(const DisplayContent& content, int row) {
  Row::Bytes out{};
  if (row < 0 || row >= kHeight) return out;

  std::array<char, kClockChars> clock{};
  TwoDigits(content.hour, &clock[0]);
  clock[2] = ':';
  TwoDigits(content.minute, &clock[3]);
  const std::string_view clockText(clock.data(), clock.size());

  RowPixels pixels{};
  if (content.powerOn) {
    // Frame around the whole screen; text stays inside it.
    const bool edgeRow = row == 0 || row == kHeight - 1;
    for (int x = 0; x < kWidth; ++x) {
      if (edgeRow || x == 0 || x == kWidth - 1) pixels[static_cast<std::size_t>(x)] = true;
    }
    const TextItem items[] = {
        {clockText, kWidth - kMargin - TextWidth(kClockChars, 1), kClockTop, 1},
        Centred(content.line1, kLine1Top, kLine1MaxScale),
        Centred(content.line2, kLine2Top, kLine23MaxScale),
        Centred(content.line3, kLine3Top, kLine23MaxScale),
    };
    for (const TextItem& item : items) DrawTextRow(item, row, 1, kWidth - 2, pixels);
    const int peaks[] = {content.peakLeft, content.peakRight};
    for (std::size_t ch = 0; ch < std::size(kMeterTop); ++ch) {
      const int top = kMeterTop[ch];
      DrawTextRow({std::string_view(&kMeterLabel[ch], 1), kMargin + 2, top, 1}, row, 1, kWidth - 2,
                  pixels);
      if (row < top + 1 || row >= top + kGlyphHeight - 1) continue;
      const int lit = (kMeterRight - kMeterLeft) * std::clamp(peaks[ch], 0, 100) / 100;
      for (int x = kMeterLeft; x < kMeterLeft + lit; ++x) {
        if ((x - kMeterLeft) % kMeterSegment != kMeterSegment - 1) {
          pixels[static_cast<std::size_t>(x)] = true;
        }
      }
    }
  } else {
    // Standby: a large clock alone in the middle.
    const int scale = kStandbyClockScale;
    const TextItem item{clockText, (kWidth - TextWidth(kClockChars, scale)) / 2,
                        (kHeight - kGlyphHeight * scale) / 2, scale};
    DrawTextRow(item, row, 0, kWidth - 1, pixels);
  }

  for (std::size_t x = 0; x < Row::kWidth; ++x) {
    if (pixels[x]) Row::Light(out, x);
  }
  return out;
}

}  // namespace sim
