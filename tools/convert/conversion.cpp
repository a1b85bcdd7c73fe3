#include "convert/conversion.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <system_error>

namespace pha::convert {
namespace {

constexpr double kSecondsPerYear = 366.0 * 86400;
constexpr int kChannels = kFileChannels;

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())) != 0)
    text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())) != 0)
    text.remove_suffix(1);
  return text;
}

// A number that takes up all of `text`.
std::optional<double> Number(std::string_view text) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return {};
  if (!std::isfinite(value)) return {};
  return value;
}

// `count` digits at `at` of `text`, or -1.
int Digits(std::string_view text, std::size_t at, std::size_t count) {
  if (at + count > text.size()) return -1;
  int value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (std::isdigit(static_cast<unsigned char>(text[i])) == 0) return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

bool LeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysIn(int year, int month) {
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && LeapYear(year) ? 29 : kDays[month - 1];
}

bool Valid(const LocalDateTime& t) {
  return t.year >= 1970 && t.year <= 9999 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
         t.day <= DaysIn(t.year, t.month) && t.hour >= 0 && t.hour <= 23 && t.minute >= 0 &&
         t.minute <= 59 && t.second >= 0 && t.second <= 59;
}

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar, and
// back (H. Hinnant's algorithms).
std::int64_t DaysFromCivil(int year, int month, int day) {
  const int y = year - (month <= 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return std::int64_t{era} * 146097 + doe - 719468;
}

LocalDateTime CivilFromDays(std::int64_t days) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto doe = static_cast<int>(days - era * 146097);
  const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int mp = (5 * doy + 2) / 153;
  const int day = doy - (153 * mp + 2) / 5 + 1;
  const int month = mp + (mp < 10 ? 3 : -9);
  const auto year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
  return {year, month, day, 0, 0, 0};
}

}  // namespace

double ParseDuration(std::string_view text) {
  const std::string_view whole = Trimmed(text);
  std::size_t split = 0;
  while (split < whole.size() &&
         (std::isdigit(static_cast<unsigned char>(whole[split])) != 0 || whole[split] == '.'))
    ++split;
  const std::optional<double> number = Number(whole.substr(0, split));
  std::string unit(Trimmed(whole.substr(split)));
  std::transform(unit.begin(), unit.end(), unit.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  double per_unit = 0;
  if (unit.empty() || unit == "s" || unit == "sec" || unit == "secs" || unit == "second" ||
      unit == "seconds") {
    per_unit = 1;
  } else if (unit == "min" || unit == "mins" || unit == "minute" || unit == "minutes") {
    per_unit = 60;
  } else if (unit == "h" || unit == "hour" || unit == "hours") {
    per_unit = 3600;
  }
  if (!number || per_unit == 0)
    throw Refusal{"'" + std::string(text) +
                  "' is not a time: give seconds, or a number with sec, min or hour, as the "
                  "presets read (\"10 sec\", \"1 hour\")"};
  const double seconds = *number * per_unit;
  if (!(seconds > 0) || seconds > kSecondsPerYear)
    throw Refusal{"'" + std::string(text) +
                  "' is not a measuring time (more than 0, at most a year)"};
  return seconds;
}

LocalDateTime ParseLocalTime(std::string_view text) {
  const std::string_view t = Trimmed(text);
  LocalDateTime time{Digits(t, 0, 4),  Digits(t, 5, 2),  Digits(t, 8, 2),
                     Digits(t, 11, 2), Digits(t, 14, 2), 0};
  bool shape = t.size() >= 16 && t[4] == '-' && t[7] == '-' && (t[10] == 'T' || t[10] == ' ') &&
               t[13] == ':';
  if (shape && t.size() > 16) {
    time.second = Digits(t, 17, 2);
    shape = t[16] == ':' && t.size() >= 19;
    // A fraction of a second is allowed, and dropped.
    if (shape && t.size() > 19) {
      shape = t[19] == '.' && t.size() > 20 && std::all_of(t.begin() + 20, t.end(), [](char c) {
                return std::isdigit(static_cast<unsigned char>(c)) != 0;
              });
    }
  }
  if (!shape || !Valid(time))
    throw Refusal{"'" + std::string(text) +
                  "' is not a local date and time such as 2026-12-07T10:15:00"};
  return time;
}

std::optional<LocalDateTime> SaveTime(std::string_view file_name) {
  const std::size_t slash = file_name.rfind('/');
  if (slash != std::string_view::npos) file_name.remove_prefix(slash + 1);
  if (!file_name.starts_with("sam") || !file_name.ends_with(".csv") || file_name.size() < 21)
    return std::nullopt;
  const std::string_view rest = file_name.substr(17, file_name.size() - 21);
  if (!rest.empty() && (rest.front() != '-' || rest.size() < 2 ||
                        !std::all_of(rest.begin() + 1, rest.end(), [](char c) {
                          return std::isdigit(static_cast<unsigned char>(c)) != 0;
                        })))
    return std::nullopt;
  const LocalDateTime time{Digits(file_name, 3, 4),  Digits(file_name, 7, 2),
                           Digits(file_name, 9, 2),  Digits(file_name, 11, 2),
                           Digits(file_name, 13, 2), Digits(file_name, 15, 2)};
  if (!Valid(time)) return std::nullopt;
  return time;
}

LocalDateTime AddSeconds(LocalDateTime time, std::int64_t seconds) {
  std::int64_t total = DaysFromCivil(time.year, time.month, time.day) * 86400 + time.hour * 3600 +
                       time.minute * 60 + time.second + seconds;
  std::int64_t days = total / 86400;
  std::int64_t of_day = total % 86400;
  if (of_day < 0) {
    of_day += 86400;
    --days;
  }
  LocalDateTime moved = CivilFromDays(days);
  moved.hour = static_cast<int>(of_day / 3600);
  moved.minute = static_cast<int>(of_day / 60 % 60);
  moved.second = static_cast<int>(of_day % 60);
  return moved;
}

std::vector<double> ParseCalibration(std::string_view text) {
  std::vector<double> coefficients;
  for (std::size_t start = 0;;) {
    const std::size_t comma = text.find(',', start);
    const std::optional<double> value = Number(Trimmed(text.substr(start, comma - start)));
    if (!value) break;
    coefficients.push_back(*value);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  const std::size_t commas = static_cast<std::size_t>(std::count(text.begin(), text.end(), ','));
  if (coefficients.size() != commas + 1 || coefficients.size() < 2 || coefficients.size() > 3)
    throw Refusal{"'" + std::string(text) +
                  "' is not an energy calibration a,b or a,b,c (keV = a + b ch + c ch^2)"};
  const auto energy = [&](double ch) {
    double kev = 0;
    for (std::size_t i = coefficients.size(); i-- > 0;) kev = kev * ch + coefficients[i];
    return kev;
  };
  for (int ch = 0; ch + 1 < kChannels; ++ch) {
    if (!(energy(ch + 1) > energy(ch)))
      throw Refusal{"the calibration '" + std::string(text) +
                    "' does not rise from channel to channel over 0..1023"};
  }
  return coefficients;
}

std::vector<float> AnalysedCounts(const FileCounts& saved, bool as_saved) {
  std::vector<float> counts(saved.size());
  for (std::size_t channel = 0; channel < saved.size(); ++channel) {
    const std::int64_t count = std::int64_t{saved[channel]} - (as_saved ? 0 : 1);
    if (count >= 0 && count <= kMostExactCount) {
      counts[channel] = static_cast<float>(count);
      continue;
    }
    const std::string where =
        "channel " + std::to_string(channel) + " holds " + std::to_string(saved[channel]);
    if (count < 0 && !as_saved)
      throw Refusal{where +
                    ", but a spectrum saved after a measurement holds at least 1 in every "
                    "channel (the pulses counted and one); convert it with --as-saved to keep "
                    "its values as they stand"};
    if (count < 0) throw Refusal{where + ", a count below zero, which no format holds"};
    throw Refusal{where + ", more than the " + std::to_string(kMostExactCount) +
                  " counts a channel keeps exactly in the spectrum formats' library"};
  }
  return counts;
}

std::string OutputName(std::string_view input_name, std::string_view format_extension) {
  const std::size_t slash = input_name.rfind('/');
  if (slash != std::string_view::npos) input_name.remove_prefix(slash + 1);
  const std::size_t dot = input_name.rfind('.');
  std::string stem(dot == std::string_view::npos || dot == 0 ? input_name
                                                             : input_name.substr(0, dot));
  return stem + std::string(format_extension);
}

}  // namespace pha::convert
