#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace desktop::roomcorrection {

struct GraphColour {
  std::uint8_t r = 0;
  std::uint8_t g = 0;
  std::uint8_t b = 0;
  friend bool operator==(const GraphColour&, const GraphColour&) = default;
};

struct GraphPoint {
  int x = 0;
  int y = 0;
  friend bool operator==(const GraphPoint&, const GraphPoint&) = default;
};

// Inclusive pixel bounds, like the plot rectangle the pages hit-test against.
struct GraphRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool Contains(int x, int y) const { return x >= left && x <= right && y >= top && y <= bottom; }
  friend bool operator==(const GraphRect&, const GraphRect&) = default;
};

enum class GraphPenStyle { Solid, Dotted };

struct GraphPen {
  GraphColour colour;
  int width = 1;
  GraphPenStyle style = GraphPenStyle::Solid;
};

struct GraphTextSize {
  int width = 0;
  int height = 0;
};

// The drawing surface a response graph is drawn on: an off-screen bitmap in the
// programs, a recording in tests. Text is placed by the top left of its line box
// and drawn without background; the font is the one set last.
class GraphCanvas {
 public:
  virtual ~GraphCanvas() = default;

  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual void Fill(GraphColour colour) = 0;
  virtual void SetFont(std::string_view family, int pixelHeight, int weight) = 0;
  virtual GraphTextSize MeasureText(std::string_view text) const = 0;
  virtual void DrawText(GraphPoint topLeft, std::string_view text, GraphColour colour) = 0;
  virtual void DrawLine(const GraphPen& pen, GraphPoint from, GraphPoint to) = 0;
  virtual void DrawPolyline(const GraphPen& pen, std::span<const GraphPoint> points) = 0;
  virtual void FillCircle(GraphColour colour, GraphPoint centre, int radius) = 0;
  // Limits what follows to `clip` (inclusive) until ClearClip.
  virtual void SetClip(const GraphRect& clip) = 0;
  virtual void ClearClip() = 0;
};

}  // namespace desktop::roomcorrection
