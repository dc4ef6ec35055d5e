#pragma once

#include <optional>
#include <string>
#include <vector>

#include "desktop/roomcorrection/GraphCanvas.h"

namespace desktop::roomcorrection {

// Keeps what a graph draws, with a fixed font of 7 pixels per character and
// 14-pixel lines; optionally passes every call on to a real canvas, whose text
// metrics then count.
class RecordingCanvas final : public GraphCanvas {
 public:
  struct Text {
    GraphPoint at;
    std::string text;
    GraphTextSize size;
  };
  struct Line {
    GraphPen pen;
    GraphPoint from;
    GraphPoint to;
  };
  struct Polyline {
    GraphPen pen;
    std::vector<GraphPoint> points;
    std::optional<GraphRect> clip;
  };
  struct Circle {
    GraphColour colour;
    GraphPoint centre;
    int radius;
  };

  RecordingCanvas(int width, int height, GraphCanvas* real = nullptr)
      : width_(width), height_(height), real_(real) {}

  int Width() const override { return width_; }
  int Height() const override { return height_; }
  void Fill(GraphColour colour) override {
    ++calls;
    if (real_) real_->Fill(colour);
  }
  void SetFont(std::string_view family, int pixelHeight, int weight) override {
    ++calls;
    font = std::string(family) + "/" + std::to_string(pixelHeight) + "/" + std::to_string(weight);
    if (real_) real_->SetFont(family, pixelHeight, weight);
  }
  GraphTextSize MeasureText(std::string_view text) const override {
    if (real_) return real_->MeasureText(text);
    return {static_cast<int>(text.size()) * 7, 14};
  }
  void DrawText(GraphPoint topLeft, std::string_view text, GraphColour colour) override {
    ++calls;
    texts.push_back({topLeft, std::string(text), MeasureText(text)});
    if (real_) real_->DrawText(topLeft, text, colour);
  }
  void DrawLine(const GraphPen& pen, GraphPoint from, GraphPoint to) override {
    ++calls;
    lines.push_back({pen, from, to});
    if (real_) real_->DrawLine(pen, from, to);
  }
  void DrawPolyline(const GraphPen& pen, std::span<const GraphPoint> points) override {
    ++calls;
    polylines.push_back({pen, {points.begin(), points.end()}, clip_});
    if (real_) real_->DrawPolyline(pen, points);
  }
  void FillCircle(GraphColour colour, GraphPoint centre, int radius) override {
    ++calls;
    circles.push_back({colour, centre, radius});
    if (real_) real_->FillCircle(colour, centre, radius);
  }
  void SetClip(const GraphRect& clip) override {
    ++calls;
    clip_ = clip;
    if (real_) real_->SetClip(clip);
  }
  void ClearClip() override {
    ++calls;
    clip_.reset();
    if (real_) real_->ClearClip();
  }

  const Text* FindText(std::string_view text) const {
    for (const Text& t : texts) {
      if (t.text == text) return &t;
    }
    return nullptr;
  }

  int calls = 0;
  std::string font;
  std::vector<Text> texts;
  std::vector<Line> lines;
  std::vector<Polyline> polylines;
  std::vector<Circle> circles;

 private:
  int width_;
  int height_;
  GraphCanvas* real_;
  std::optional<GraphRect> clip_;
};

}  // namespace desktop::roomcorrection
