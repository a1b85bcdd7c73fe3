// One full redraw of the spectrum plot onto the Qt surface at 925 x 533, and
// one redraw put on the screen.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEvent>
#include <random>

#include "acquisition/measurement_state.h"
#include "platform/drawing/qt_drawing_surface.h"
#include "plot/spectrum_plot.h"

namespace pha {
namespace {

// A spectrum with structure, so that the traces are not flat lines.
void FillSpectra(MeasurementState& state) {
  std::mt19937 random(7);
  std::poisson_distribution<int> counts(300);
  for (int i = 10; i <= 1023; ++i) {
    state.SpcSmp[i] = 1 + counts(random) * (i % 97);
    state.SpcSmt[i] = 1 + 9 * counts(random) * (i % 97);
    state.SpcRef[i] = 1 + counts(random) * 2;
  }
}

// The pulses of one 200 ms tick at the line's full rate arrive between two
// redraws: each adds 1 to its channel of the sample and to the nine around
// it of the smoothed sample. Every picture differs from the one before.
void CountsArrive(MeasurementState& state, int tick) {
  for (int pulse = 0; pulse < 192; ++pulse) {
    const int channel = 14 + (tick * 7919 + pulse * 104729) % 1006;
    ++state.SpcSmp[channel];
    for (int i = channel - 4; i <= channel + 4; ++i) ++state.SpcSmt[i];
  }
}

void BM_DrwGrpOnQtSurface(benchmark::State& bench) {
  QtDrawingSurface surface(QSize(925, 533));
  MeasurementState state;
  IniMes(state, surface);
  FillSpectra(state);
  int tick = 0;
  for (auto _ : bench) {
    CountsArrive(state, tick++);
    DrwGrp(state, surface);
    // The finished picture is shown once the handler returns.
    benchmark::DoNotOptimize(surface.Picture());
  }
  bench.SetItemsProcessed(bench.iterations());
}
BENCHMARK(BM_DrwGrpOnQtSurface)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

// Counts the paint events of a widget.
struct PaintCounter : QObject {
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

// The redraw on a window on the screen (the offscreen platform's), until the
// window has painted and flushed it: the whole cost of one tick's picture.
void BM_DrwGrpShown(benchmark::State& bench) {
  QtDrawingSurface surface(QSize(925, 533));
  PaintCounter counter;
  surface.installEventFilter(&counter);
  MeasurementState state;
  IniMes(state, surface);
  FillSpectra(state);
  surface.show();
  QCoreApplication::processEvents();
  int tick = 0;
  counter.paints = 0;
  for (auto _ : bench) {
    CountsArrive(state, tick++);
    DrwGrp(state, surface);
    // The picture is shown from the event loop, and painted from it after.
    const int paints = counter.paints;
    for (int round = 0; round < 4 && counter.paints == paints; ++round)
      QCoreApplication::processEvents();
  }
  bench.counters["paints"] = benchmark::Counter(counter.paints, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_DrwGrpShown)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace pha
