// The response graphs drawn on real images with the platform's font. Set
// MRX_GRAPH_PICTURES to a folder to keep the pictures for a look.
#include <gtest/gtest.h>

#include <QColor>
#include <QDir>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>

#include "desktop/roomcorrection/CFilterDesign.h"
#include "desktop/roomcorrection/QtGraphCanvas.h"
#include "tests/desktop/roomcorrection/RecordingCanvas.h"
#include "tests/support/QtTestApp.h"

namespace desktop::roomcorrection {
namespace {

enum class Style { Equaliser, Bands };

struct Picture {
  const char* name;
  Style style;
  int width;
  int height;
};

void PrintTo(const Picture& picture, std::ostream* out) {
  *out << picture.name;
}

// The phono page's graph, the KLF310 page's band graphs and a cramped one.
const Picture kPictures[] = {{"phono_riaa_iec", Style::Equaliser, 900, 378},
                             {"phono_small", Style::Equaliser, 420, 160},
                             {"klf310_left", Style::Bands, 440, 190},
                             {"klf310_wide", Style::Bands, 900, 300},
                             {"klf310_small", Style::Bands, 260, 110}};

class ResponseGraphRender : public ::testing::TestWithParam<Picture> {
 protected:
  ResponseGraphRender() { testing_support::TestApplication(); }

  // Draws the picture's graph on `image`, recording what went to it.
  std::unique_ptr<CFilterDesign> Draw(QImage& image, RecordingCanvas*& recorded) {
    auto design = std::make_unique<CFilterDesign>();
    const Picture& p = GetParam();
    if (p.style == Style::Equaliser) {
      design->SetFrequencyRange(5, 30000);
      design->SetTimeConstants(3180, 318, 75, 7950);
      design->SetMarkerIndex(1400);
    } else {
      design->SetFrequencyRange(0.5, 96000);
      design->SetTitle("Left Channels");
      // Eight channels as a room correction would set them, one at the top edge.
      const double bands[8][2] = {{20, 20000},  {40, 300}, {100, 1000},   {250, 4000},
                                  {1000, 8000}, {30, 150}, {5000, 90000}, {2, 60}};
      for (int slot = 0; slot < 8; ++slot) {
        design->SetBand(slot, 1, bands[slot][0], bands[slot][1], 1 + slot);
      }
    }
    canvas_ = std::make_unique<QtGraphCanvas>(image);
    recorder_ = std::make_unique<RecordingCanvas>(image.width(), image.height(), canvas_.get());
    p.style == Style::Equaliser ? design->DrawResponse(*recorder_) : design->DrawBands(*recorder_);
    canvas_.reset();  // ends the painting
    recorded = recorder_.get();
    if (const char* dir = std::getenv("MRX_GRAPH_PICTURES")) {
      QDir().mkpath(dir);
      image.save(QString("%1/%2.png").arg(dir, p.name));
    }
    return design;
  }

  std::unique_ptr<QtGraphCanvas> canvas_;
  std::unique_ptr<RecordingCanvas> recorder_;
};

// Where a text's glyphs are, in the graph's font.
QRect InkOf(const RecordingCanvas::Text& text) {
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(12);
  font.setWeight(QFont::Bold);
  const QFontMetrics metrics(font);
  return metrics.tightBoundingRect(QString::fromStdString(text.text))
      .translated(text.at.x, text.at.y + metrics.ascent());
}

TEST_P(ResponseGraphRender, CurvesStayInsideThePlot) {
  const Picture& p = GetParam();
  QImage image(p.width, p.height, QImage::Format_RGB32);
  image.fill(Qt::black);
  RecordingCanvas* recorded = nullptr;
  const auto design = Draw(image, recorded);
  const GraphRect plot = design->PlotRect();

  // The curve colours: the equaliser's, or the band slots' (black excepted,
  // which the texts share, and grey, which the grid shares).
  const auto isCurve = [&](QRgb rgb) {
    const QColor c(rgb);
    if (p.style == Style::Equaliser) return c == QColor(128, 128, 255);
    return c == QColor(200, 0, 0) || c == QColor(0, 200, 0) || c == QColor(0, 0, 200) ||
           c == QColor(200, 200, 0) || c == QColor(200, 0, 200) || c == QColor(0, 200, 200);
  };
  int curvePixels = 0;
  int inkLeftOfAxis = 0;
  int inkBelowAxis = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QRgb rgb = image.pixel(x, y);
      if (isCurve(rgb)) {
        ++curvePixels;
        ASSERT_TRUE(plot.Contains(x, y)) << "curve pixel at " << x << "," << y;
      }
      const bool dark = qGray(rgb) < 100;
      inkLeftOfAxis += dark && x < plot.left - 2 && y > plot.top;
      inkBelowAxis += dark && y > plot.bottom + 5;
    }
  }
  EXPECT_GT(curvePixels, p.width / 2);
  // The level and frequency labels are there, in ink.
  EXPECT_GT(inkLeftOfAxis, 20);
  EXPECT_GT(inkBelowAxis, 20);
  // The white ground covers the bitmap: no corner is left black.
  EXPECT_EQ(QColor(image.pixel(p.width - 1, 0)), QColor(Qt::white));
  if (p.style == Style::Equaliser) {
    const GraphPoint marker = design->ResponsePoints()[1400];
    EXPECT_EQ(QColor(image.pixel(marker.x, marker.y)), QColor(0, 0, 255));
  }
}

TEST_P(ResponseGraphRender, TextsNeitherOverlapNorLeaveTheBitmap) {
  const Picture& p = GetParam();
  QImage image(p.width, p.height, QImage::Format_RGB32);
  RecordingCanvas* recorded = nullptr;
  Draw(image, recorded);
  const auto& texts = recorded->texts;
  ASSERT_GE(texts.size(), 8u);
  for (std::size_t i = 0; i < texts.size(); ++i) {
    SCOPED_TRACE(texts[i].text);
    EXPECT_GE(texts[i].at.x, 0);
    EXPECT_GE(texts[i].at.y, 0);
    EXPECT_LE(texts[i].at.x + texts[i].size.width, p.width);
    EXPECT_LE(texts[i].at.y + texts[i].size.height, p.height);
    for (std::size_t j = i + 1; j < texts.size(); ++j) {
      EXPECT_FALSE(InkOf(texts[i]).intersects(InkOf(texts[j]))) << "with " << texts[j].text;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Graphs, ResponseGraphRender, ::testing::ValuesIn(kPictures),
                         [](const ::testing::TestParamInfo<Picture>& row) {
                           return std::string(row.param.name);
                         });

}  // namespace
}  // namespace desktop::roomcorrection
