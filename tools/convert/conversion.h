// What pha-convert makes of a saved spectrum before a format is written: the
// measuring time and its start, the energy calibration, the counts as the
// analysis programs take them, and the name of the file it writes. Plain
// C++, no spectrum-file library: those are in spectrum_formats.h.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "main_window/files_and_clock.h"
#include "spectrum_files/spectrum_file.h"

namespace pha::convert {

// A formats' library keeps counts as single-precision numbers: whole counts
// up to 2^24 exactly, and no further.
inline constexpr std::int64_t kMostExactCount = std::int64_t{1} << 24;

// What is wrong with an option or a file, for the operator.
struct Refusal {
  std::string reason;
};

// Seconds from "600", "600.5", "90 s", "10 sec", "10 min", "1 hour" or
// "24 hour" (the presets' own texts among them): more than 0, at most a
// year. Throws Refusal.
double ParseDuration(std::string_view text);

// "2026-12-07T10:15:00" or "2026-12-07 10:15:00" (seconds optional, a
// fraction of them allowed): a local date and time, whole seconds kept.
// Throws Refusal.
LocalDateTime ParseLocalTime(std::string_view text);

// The local date and time in a saved spectrum's name, samYYYYMMDDhhmmss.csv
// (or -2.csv, -3.csv, ...): when Save was clicked. Nothing where the name
// holds none.
std::optional<LocalDateTime> SaveTime(std::string_view file_name);

// `time` moved by `seconds`, either way, across days, months and years.
LocalDateTime AddSeconds(LocalDateTime time, std::int64_t seconds);

// "a,b" or "a,b,c": keV = a + b ch + c ch^2, rising over channels 0..1023.
// Throws Refusal.
std::vector<double> ParseCalibration(std::string_view text);

// The counts of channels 0..1023 as the analysis programs should see them.
// A spectrum saved after a measurement holds one more than the pulses in
// every channel (the program fills an empty spectrum with 1, so that its
// plot can take logarithms); `as_saved` keeps the values as they stand.
// Throws Refusal for a count the formats cannot hold: below zero, or past
// kMostExactCount.
std::vector<float> AnalysedCounts(const FileCounts& saved, bool as_saved);

// The name of the file written for `input_name` in `format_extension`
// (".n42"): sam...csv gives sam....n42 (or, where that is taken, sam...-2.n42,
// -3, ... as saves are numbered).
std::string OutputName(std::string_view input_name, std::string_view format_extension);

}  // namespace pha::convert
