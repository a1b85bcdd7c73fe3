// The spans of time in the serial port's messages: how long the line was
// away, how long a hold-up lasted.
#include "platform/serial/line_reports.h"

#include <gtest/gtest.h>

namespace pha {
namespace {

TEST(LineReports, ASpanOfTimeShowsToTheNearestSecond) {
  const std::pair<std::int64_t, const char*> rows[] = {
      {4'499, "4 s"}, {4'500, "5 s"}, {126'000, "2 min 6 s"}, {10'812'000, "3 h 0 min 12 s"}};
  for (const auto& [ms, text] : rows) EXPECT_EQ(FormatDuration(ms), text) << ms;
}

}  // namespace
}  // namespace pha
