#include "measurement/display_formats.h"

#include <array>
#include <charconv>
#include <cmath>

namespace pha {

namespace {

constexpr std::int64_t kSecondsPerMinute = 60;
constexpr std::int64_t kSecondsPerHour = 3600;
constexpr std::int64_t kSecondsPerDay = 86400;

void AppendTwoDigits(std::string& text, std::int64_t value) {
  text += static_cast<char>('0' + value / 10);
  text += static_cast<char>('0' + value % 10);
}

}  // namespace

std::string FormatRounded(double value) {
  // std::round is exact at every magnitude; adding 0.5 and truncating is not
  // (0.49999999999999994 becomes 1, and odd values beyond 2^52 move by one).
  double whole = std::round(value);
  if (whole == 0.0) whole = 0.0;  // -0.4 rounds to -0.0
  // Fixed notation without decimals prints an integral double's exact digits,
  // even beyond the range of int64. 310 digits hold the largest double.
  std::array<char, 320> buffer;
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), whole,
                                    std::chars_format::fixed, 0);
  return std::string(buffer.data(), result.ptr);
}

std::string FormatGrouped(double value, std::string_view thousands) {
  const std::string plain = FormatRounded(value);
  const std::size_t sign = plain.front() == '-' ? 1 : 0;
  const std::size_t digits = plain.size() - sign;
  std::string text = plain.substr(0, sign);
  for (std::size_t i = 0; i < digits; ++i) {
    if (i > 0 && (digits - i) % 3 == 0) text += thousands;
    text += plain[sign + i];
  }
  return text;
}

std::string FormatTimeOfDay(std::int64_t seconds, std::string_view separator) {
  const std::int64_t of_day = (seconds % kSecondsPerDay + kSecondsPerDay) % kSecondsPerDay;
  std::string text;
  AppendTwoDigits(text, of_day / kSecondsPerHour);
  text += separator;
  AppendTwoDigits(text, of_day / kSecondsPerMinute % 60);
  text += separator;
  AppendTwoDigits(text, of_day % kSecondsPerMinute);
  return text;
}

std::string FormatCount(std::int64_t count) { return std::to_string(count); }

}  // namespace pha
