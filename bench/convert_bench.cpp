// pha-convert's work on one saved spectrum, from the file's text to the
// bytes of each format, through SpecUtils: what a conversion costs besides
// starting the program and touching the disk.
#include <benchmark/benchmark.h>

#include "convert/conversion.h"
#include "convert/spectrum_formats.h"
#include "spectrum_files/spectrum_file.h"

namespace pha::convert {
namespace {

void BM_Convert(benchmark::State& bench) {
  Spectrum spectrum{};
  for (int channel = 0; channel < kFileChannels; ++channel)
    spectrum[channel] = 1 + (channel * 7919) % 5000;
  const std::string text = FormatSpectrumFile(spectrum);
  const auto format = static_cast<Format>(bench.range(0));
  for (auto _ : bench) {
    const SpectrumFileReading reading = ParseSpectrumFile(text);
    Measured measured{AnalysedCounts(reading.counts, false),
                      600,
                      600,
                      AddSeconds(*SaveTime("sam20261207101500.csv"), -600),
                      ParseCalibration("0,0.5"),
                      "",
                      ""};
    benchmark::DoNotOptimize(WriteSpectrum(measured, format));
  }
}
BENCHMARK(BM_Convert)
    ->Arg(static_cast<int>(Format::kN42))
    ->Arg(static_cast<int>(Format::kSpe))
    ->Arg(static_cast<int>(Format::kCnf))
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pha::convert
