#include "measurement/display_formats.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace pha {
namespace {

TEST(FormatRounded, RoundsHalvesAwayFromZeroWithoutSeparators) {
  const struct {
    double value;
    const char* text;
  } rows[] = {
      {0.0, "0"},
      {-0.0, "0"},
      {0.49, "0"},
      {-0.4, "0"},
      {0.49999999999999994, "0"},  // the largest double below 0.5
      {0.5, "1"},
      {1.5, "2"},
      {2.5, "3"},
      {-0.5, "-1"},
      {-2.5, "-3"},
      {8.571428571428571, "9"},
      {122.49999999999999, "122"},
      {999.5, "1000"},
      {-1234.5, "-1235"},
      {1e11, "100000000000"},
      {123456789012.5, "123456789013"},
      {4503599627370497.0, "4503599627370497"},  // 2^52 + 1: no room for a half
      {1e20, "100000000000000000000"},
  };
  for (const auto& row : rows) EXPECT_EQ(FormatRounded(row.value), row.text) << row.value;
}

TEST(FormatGrouped, GroupsThreeDigitsWithTheGivenSeparator) {
  const std::string nnbsp = "\u202F";  // narrow no-break space, three bytes
  const struct {
    double value;
    std::string thousands;
    std::string text;
  } rows[] = {
      {0.0, ",", "0"},
      {-0.3, ",", "0"},
      {100.0, ",", "100"},
      {-100.0, ",", "-100"},
      {999.49, ",", "999"},
      {999.5, ",", "1,000"},
      {12500.0, ",", "12,500"},
      {-100000.0, ",", "-100,000"},
      {-1234567.5, ",", "-1,234,568"},
      {12345.6, ",", "12,346"},
      {1e11, ",", "100,000,000,000"},
      {122760.0, ",", "122,760"},
      {12500.0, ".", "12.500"},
      {1234567.0, nnbsp, "1" + nnbsp + "234" + nnbsp + "567"},
      {1234567.0, "", "1234567"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(FormatGrouped(row.value, row.thousands), row.text)
        << row.value << " with '" << row.thousands << "'";
  }
}

TEST(FormatTimeOfDay, ShowsSecondsAsTwoDigitHoursMinutesSecondsOfOneDay) {
  const struct {
    std::int64_t seconds;
    const char* separator;
    const char* text;
  } rows[] = {
      {0, ":", "00:00:00"},     {1, ":", "00:00:01"},
      {59, ":", "00:00:59"},    {60, ":", "00:01:00"},
      {3599, ":", "00:59:59"},  {3600, ":", "01:00:00"},
      {86399, ":", "23:59:59"}, {86400, ":", "00:00:00"},
      {90061, ":", "01:01:01"}, {std::numeric_limits<std::int32_t>::max(), ":", "03:14:07"},
      {-1, ":", "23:59:59"},    {45296, ".", "12.34.56"},
      {45296, "", "123456"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(FormatTimeOfDay(row.seconds, row.separator), row.text) << row.seconds;
  }
}

TEST(FormatCount, WritesPlainDecimalDigits) {
  const struct {
    std::int64_t count;
    const char* text;
  } rows[] = {
      {0, "0"},
      {7, "7"},
      {1234567, "1234567"},
      {-42, "-42"},
      {84851712000, "84851712000"},
      {std::numeric_limits<std::int64_t>::min(), "-9223372036854775808"},
  };
  for (const auto& row : rows) EXPECT_EQ(FormatCount(row.count), row.text);
}

}  // namespace
}  // namespace pha
