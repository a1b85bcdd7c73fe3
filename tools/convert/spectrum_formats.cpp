#include "convert/spectrum_formats.h"

#include <chrono>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>

#include "SpecUtils/EnergyCalibration.h"
#include "SpecUtils/SpecFile.h"

namespace pha::convert {
namespace {

// The library's time points stand for wall-clock times without a zone, as
// its file formats write them: the local date and time go in as they are.
SpecUtils::time_point_t TimePoint(const LocalDateTime& time) {
  using namespace std::chrono;
  const sys_days day = year_month_day{year{time.year}, month{static_cast<unsigned>(time.month)},
                                      std::chrono::day{static_cast<unsigned>(time.day)}};
  return time_point_cast<microseconds>(sys_seconds{day.time_since_epoch()} + hours{time.hour} +
                                       minutes{time.minute} + seconds{time.second});
}

}  // namespace

std::optional<Format> FormatNamed(std::string_view name) {
  if (name == "n42") return Format::kN42;
  if (name == "spe") return Format::kSpe;
  if (name == "cnf") return Format::kCnf;
  return std::nullopt;
}

std::string_view Extension(Format format) {
  switch (format) {
    case Format::kN42:
      return ".n42";
    case Format::kSpe:
      return ".spe";
    case Format::kCnf:
      return ".cnf";
  }
  return "";
}

std::string WriteSpectrum(const Measured& measured, Format format) {
  auto measurement = std::make_shared<SpecUtils::Measurement>();
  measurement->set_gamma_counts(std::make_shared<const std::vector<float>>(measured.counts),
                                static_cast<float>(measured.live_time_s),
                                static_cast<float>(measured.real_time_s));
  measurement->set_start_time(TimePoint(measured.start));
  measurement->set_sample_number(1);
  if (!measured.title.empty()) measurement->set_title(measured.title);
  if (!measured.comment.empty()) measurement->set_remarks({measured.comment});
  if (!measured.calibration.empty()) {
    auto calibration = std::make_shared<SpecUtils::EnergyCalibration>();
    const std::vector<float> coefficients(measured.calibration.begin(), measured.calibration.end());
    calibration->set_polynomial(measured.counts.size(), coefficients, {});
    measurement->set_energy_calibration(calibration);
  }
  SpecUtils::SpecFile file;
  file.add_measurement(measurement, true);
  file.set_manufacturer("pha");
  file.set_instrument_model("pulse-height-analysing radiation counter");

  const std::set<int> samples = file.sample_numbers();
  const std::set<int> detectors(file.detector_numbers().begin(), file.detector_numbers().end());
  std::ostringstream out(std::ios::binary);
  bool written = false;
  switch (format) {
    case Format::kN42:
      written = file.write_2012_N42(out);
      break;
    case Format::kSpe:
      written = file.write_iaea_spe(out, samples, detectors);
      break;
    case Format::kCnf:
      written = file.write_cnf(out, samples, detectors);
      break;
  }
  if (!written) throw std::runtime_error("the spectrum-file library could not write it");
  return std::move(out).str();
}

}  // namespace pha::convert
