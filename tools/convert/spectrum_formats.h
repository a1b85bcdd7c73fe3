// A saved spectrum written in the formats the analysis programs read, by
// SpecUtils, the file library those programs themselves are built on:
// N42-2012 XML, IAEA SPE and Canberra's CNF. Not CHN: its readers take the
// first two and the last two channels for the times ORTEC's hardware keeps
// there, and set them to 0, so a spectrum's channels 1022 and 1023 would be
// lost; CNF keeps every channel, the times, the start and the calibration.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "main_window/files_and_clock.h"

namespace pha::convert {

enum class Format { kN42, kSpe, kCnf };

// "n42", "spe" or "cnf"; nothing for another.
std::optional<Format> FormatNamed(std::string_view name);
// ".n42", ".spe", ".cnf".
std::string_view Extension(Format format);

struct Measured {
  std::vector<float> counts;  // channels 0..1023, as the analysis programs take them
  double live_time_s = 0;
  double real_time_s = 0;
  LocalDateTime start;              // local time
  std::vector<double> calibration;  // keV = c0 + c1 ch + c2 ch^2; empty: none given
  std::string title;
  std::string comment;
};

// The file's bytes. Throws std::runtime_error where the library cannot
// write it.
std::string WriteSpectrum(const Measured& measured, Format format);

}  // namespace pha::convert
