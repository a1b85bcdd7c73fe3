// One full redraw of the spectrum plot onto the Qt surface at 925 x 533.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <random>

#include "acquisition/measurement_state.h"
#include "platform/qt_drawing_surface.h"
#include "plot/spectrum_plot.h"

namespace pha {
namespace {

void BM_DrwGrpOnQtSurface(benchmark::State& bench) {
  QtDrawingSurface surface(QSize(925, 533));
  MeasurementState state;
  IniMes(state, surface);
  // A spectrum with structure, so that the traces are not flat lines.
  std::mt19937 random(7);
  std::poisson_distribution<int> counts(300);
  for (int i = 10; i <= 1023; ++i) {
    state.SpcSmp[i] = 1 + counts(random) * (i % 97);
    state.SpcSmt[i] = 1 + 9 * counts(random) * (i % 97);
    state.SpcRef[i] = 1 + counts(random) * 2;
  }
  for (auto _ : bench) {
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

}  // namespace
}  // namespace pha
