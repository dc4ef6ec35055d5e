// Recomputing and redrawing the response graphs, as a ratio to one frame at
// 60 Hz (16.67 ms): the phono page's equaliser graph after a time constant
// moves, and one of the KLF310 page's band graphs after a channel changes. The
// pictures are drawn offscreen with the platform's font, as the pages do.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "desktop/roomcorrection/CFilterDesign.h"
#include "desktop/roomcorrection/QtGraphCanvas.h"

namespace {

namespace rc = desktop::roomcorrection;

constexpr double kFrameNs = 1e9 / 60;

void BM_PhonoGraph(benchmark::State& state) {
  auto design = std::make_unique<rc::CFilterDesign>();
  design->SetFrequencyRange(5, 30000);
  design->SetMarkerIndex(1400);
  QImage image(900, 380, QImage::Format_RGB32);
  std::uint16_t t1 = 3000;
  for (auto _ : state) {
    // A scroll bar step: a new t1, the response, the picture.
    t1 = t1 == 3400 ? 3000 : t1 + 1;
    design->SetTimeConstants(t1, 318, 75, 7950);
    rc::QtGraphCanvas canvas(image);
    design->DrawResponse(canvas);
  }
  benchmark::DoNotOptimize(image.constBits());
}

void BM_BandGraph(benchmark::State& state) {
  auto design = std::make_unique<rc::CFilterDesign>();
  design->SetFrequencyRange(0.5, 96000);
  design->SetTitle("Left Channels");
  QImage image(440, 190, QImage::Format_RGB32);
  double start = 20;
  for (auto _ : state) {
    // A channel's start moved: the page sets the graph's eight bands and draws it.
    start = start >= 80 ? 20 : start + 1;
    for (int slot = 0; slot < 8; ++slot) {
      design->SetBand(slot, 1, start * (1 + slot), 20000 - 1000 * slot, 1 + slot);
    }
    rc::QtGraphCanvas canvas(image);
    design->DrawBands(canvas);
  }
  benchmark::DoNotOptimize(image.constBits());
}

BENCHMARK(BM_PhonoGraph)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_BandGraph)->Unit(benchmark::kMillisecond)->MinTime(1.0);

class TimeReporter : public benchmark::ConsoleReporter {
 public:
  struct Times {
    double realNs = 0;
    double cpuNs = 0;
  };
  std::map<std::string, Times> times;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.iterations > 0) {
        const auto n = static_cast<double>(run.iterations);
        times[run.run_name.function_name] = {run.real_accumulated_time * 1e9 / n,
                                             run.cpu_accumulated_time * 1e9 / n};
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

void PrintRatio(const char* what, const TimeReporter::Times& t) {
  // Wall time is what the user waits; on a shared machine the processor time
  // shows the graph's own share.
  std::printf("%s: %.3f ms, ratio to a 60 Hz frame: %.3f (target <= 0.25; processor time %.3f)\n",
              what, t.realNs / 1e6, t.realNs / kFrameNs, t.cpuNs / kFrameNs);
}

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  TimeReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto phono = reporter.times["BM_PhonoGraph"];
  const auto bands = reporter.times["BM_BandGraph"];
  if (phono.realNs <= 0 || bands.realNs <= 0) {
    std::printf("benchmark incomplete\n");
    return 1;
  }
  std::printf("\n");
  PrintRatio("phono graph, a time constant moved, recomputed and redrawn", phono);
  PrintRatio("KLF310 band graph, 8 bands set and redrawn", bands);
  return 0;
}
