// SpectrumFile, the text form of channels 0..1023 of a spectrum: one signed
// decimal count per line, channel 0 first, every line ended by CR LF.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "acquisition/measurement_state.h"
#include "main_window/files_and_clock.h"

namespace pha {

constexpr int kFileChannels = 1024;  // channels 0..1023 go to and come from files

using FileCounts = std::array<std::int32_t, kFileChannels>;

// Channels 0..1023 of `spectrum` as a SpectrumFile: "1\r\n" x 1024 (3072
// bytes) for a spectrum straight after a reset.
std::string FormatSpectrumFile(const Spectrum& spectrum);

struct SpectrumFileReading {
  FileCounts counts{};  // channels 0..1023, complete only when there is no error
  // Why the text holds no spectrum: too few values, or a value out of range.
  std::optional<std::string> error;
};

// Reads the first 1024 values of `text` and ignores the rest. Values are
// separated by commas and line ends (CR LF, LF or CR); blank lines are
// skipped; blanks and double quotes around a value are dropped; a fraction is
// rounded half away from zero; a value that is not a number reads as 0.
// The README's section on spectrum files has every rule.
SpectrumFileReading ParseSpectrumFile(std::string_view text);

// "sam" + YYYYMMDDhhmmss + ".csv", e.g. "sam20210305090703.csv".
std::string SaveFileName(const LocalDateTime& time);

}  // namespace pha
