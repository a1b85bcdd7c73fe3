#include "spectrum_files/spectrum_file.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace pha {
namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
// Magnitudes stop growing here, past the 32-bit range, so that a long run of
// digits cannot overflow while it is read.
constexpr std::int64_t kBeyondCountRange = std::int64_t{1} << 32;
// How much of a bad value an error message repeats.
constexpr std::size_t kShownValueLength = 24;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// One value's text, without blanks or quotes, and its line, counted from 1.
struct Field {
  std::string text;
  int line = 0;
};

// Cuts a text into fields at commas and line ends. A double quote opens or
// closes a quoted stretch whose commas belong to the value; a line end
// always ends the field, so a stray quote cannot swallow the rest of a file.
// A line holding only blanks yields no field; an empty field between commas
// does.
class FieldScanner {
 public:
  explicit FieldScanner(std::string_view text) : text_(text) {}

  std::optional<Field> Next() {
    while (pos_ < text_.size()) {
      const bool at_line_start = at_line_start_;
      Field field{{}, line_};
      bool quoted = false;
      bool in_quotes = false;
      for (; pos_ < text_.size() && !IsLineEnd(text_[pos_]) && (in_quotes || text_[pos_] != ',');
           ++pos_) {
        if (text_[pos_] == '"') {
          quoted = true;
          in_quotes = !in_quotes;
        } else {
          field.text += text_[pos_];
        }
      }
      const bool ended_line = SkipSeparator();
      field.text = std::string(TrimBlanks(field.text));
      if (at_line_start && ended_line && !quoted && field.text.empty()) continue;
      return field;
    }
    // A comma that ends the text ends a field, like a comma before a line end.
    if (comma_at_end_) {
      comma_at_end_ = false;
      return Field{{}, line_};
    }
    return std::nullopt;
  }

 private:
  // Steps over the comma or line end at pos_; false when it was a comma.
  bool SkipSeparator() {
    if (pos_ == text_.size()) return true;
    const char c = text_[pos_++];
    at_line_start_ = c != ',';
    if (c == ',') {
      comma_at_end_ = pos_ == text_.size();
      return false;
    }
    if (c == '\r' && pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
    ++line_;
    return true;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  int line_ = 1;
  bool at_line_start_ = true;
  bool comma_at_end_ = false;
};

// Reads [+|-]digits[.digits], at least one digit, rounding a fraction half
// away from zero; nullopt when the text is no such number.
std::optional<std::int64_t> ToNumber(std::string_view text) {
  const bool negative = !text.empty() && text.front() == '-';
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) text.remove_prefix(1);
  std::int64_t magnitude = 0;
  bool any_digit = false;
  std::size_t i = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i, any_digit = true) {
    magnitude = std::min(magnitude * 10 + (text[i] - '0'), kBeyondCountRange);
  }
  if (i < text.size() && text[i] == '.') {
    // The first decimal alone decides the rounding, exactly: x.5000... and
    // above round up, x.4999... and below round down.
    if (++i < text.size() && IsDigit(text[i]) && text[i] >= '5') ++magnitude;
    for (; i < text.size() && IsDigit(text[i]); ++i) any_digit = true;
  }
  if (!any_digit || i != text.size()) return std::nullopt;
  return negative ? -magnitude : magnitude;
}

std::string Shortened(const std::string& text) {
  return text.size() <= kShownValueLength ? text : text.substr(0, kShownValueLength) + "...";
}

}  // namespace

std::string FormatSpectrumFile(const Spectrum& spectrum) {
  std::string text;
  text.reserve(kFileChannels * sizeof("-2147483648\r\n"));
  for (int channel = 0; channel < kFileChannels; ++channel) {
    text += std::to_string(spectrum[channel]);
    text += "\r\n";
  }
  return text;
}

SpectrumFileReading ParseSpectrumFile(std::string_view text) {
  using Limits = std::numeric_limits<std::int32_t>;
  SpectrumFileReading reading;
  // Spreadsheets saving "CSV UTF-8" put a byte-order mark before the first value.
  if (text.starts_with(kUtf8ByteOrderMark)) text.remove_prefix(kUtf8ByteOrderMark.size());
  FieldScanner scanner(text);
  for (int channel = 0; channel < kFileChannels; ++channel) {
    const std::optional<Field> field = scanner.Next();
    if (!field) {
      reading.error = "the file holds only " + std::to_string(channel) + " of the " +
                      std::to_string(kFileChannels) + " values of a spectrum";
      return reading;
    }
    const std::optional<std::int64_t> value = ToNumber(field->text);
    if (value && (*value < Limits::min() || *value > Limits::max())) {
      reading.error = "line " + std::to_string(field->line) + ": " + Shortened(field->text) +
                      " is outside the range of a count, " + std::to_string(Limits::min()) +
                      " to " + std::to_string(Limits::max());
      return reading;
    }
    reading.counts[channel] = value ? static_cast<std::int32_t>(*value) : 0;
  }
  return reading;
}

std::string SaveFileName(const LocalDateTime& time) {
  char name[64];
  std::snprintf(name, sizeof name, "sam%04d%02d%02d%02d%02d%02d.csv", time.year, time.month,
                time.day, time.hour, time.minute, time.second);
  return name;
}

}  // namespace pha
