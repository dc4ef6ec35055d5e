#pragma once

#include <QFont>
#include <QImage>
#include <QPainter>

#include "desktop/roomcorrection/GraphCanvas.h"

namespace desktop::roomcorrection {

// A response graph's canvas on an off-screen image: the page draws into it and
// copies the image to the screen in one step.
class QtGraphCanvas final : public GraphCanvas {
 public:
  // Paints on `image` (which must outlive the canvas) until destroyed.
  explicit QtGraphCanvas(QImage& image);

  int Width() const override { return width_; }
  int Height() const override { return height_; }
  void Fill(GraphColour colour) override;
  void SetFont(std::string_view family, int pixelHeight, int weight) override;
  GraphTextSize MeasureText(std::string_view text) const override;
  void DrawText(GraphPoint topLeft, std::string_view text, GraphColour colour) override;
  void DrawLine(const GraphPen& pen, GraphPoint from, GraphPoint to) override;
  void DrawPolyline(const GraphPen& pen, std::span<const GraphPoint> points) override;
  void FillCircle(GraphColour colour, GraphPoint centre, int radius) override;
  void SetClip(const GraphRect& clip) override;
  void ClearClip() override;

 private:
  QPen ToQPen(const GraphPen& pen) const;

  int width_;
  int height_;
  QPainter painter_;
};

}  // namespace desktop::roomcorrection
