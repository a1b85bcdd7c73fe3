// The label formats at their edges; the labels themselves are in
// run_control_test.cpp and rate_meter_test.cpp. Counts are std::to_string.
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
      {-0.0, "0"},
      {-0.4, "0"},
      {0.49999999999999994, "0"},  // the largest double below 0.5
      {2.5, "3"},
      {-2.5, "-3"},
      {122.49999999999999, "122"},
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
      {-0.3, ",", "0"},
      {999.49, ",", "999"},
      {999.5, ",", "1,000"},
      {-1234567.5, ",", "-1,234,568"},
      {1e11, ",", "100,000,000,000"},
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
      {86399, ":", "23:59:59"}, {86400, ":", "00:00:00"},
      {90061, ":", "01:01:01"}, {std::numeric_limits<std::int32_t>::max(), ":", "03:14:07"},
      {-1, ":", "23:59:59"},    {45296, ".", "12.34.56"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(FormatTimeOfDay(row.seconds, row.separator), row.text) << row.seconds;
  }
}

}  // namespace
}  // namespace pha
