#include "spectrum_files/spectrum_file.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace pha {
namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

std::string Repeat(std::string_view piece, int times) {
  std::string text;
  while (times-- > 0) text += piece;
  return text;
}

TEST(FormatSpectrumFile, WritesChannels0To1023AsSignedDecimalLines) {
  Spectrum spectrum;
  spectrum.fill(1);
  EXPECT_EQ(FormatSpectrumFile(spectrum), Repeat("1\r\n", kFileChannels));
  spectrum[0] = 0;
  spectrum[1] = -1;
  spectrum[2] = kMin;
  spectrum[3] = kMax;
  spectrum[4] = 100;
  spectrum[1023] = -70;
  spectrum[1024] = 5;  // never written
  EXPECT_EQ(FormatSpectrumFile(spectrum),
            "0\r\n-1\r\n-2147483648\r\n2147483647\r\n100\r\n" + Repeat("1\r\n", 1018) + "-70\r\n");
}

TEST(ParseSpectrumFile, ReadsValuesInEveryAcceptedForm) {
  struct Row {
    const char* what;
    std::string head;  // followed by "7\r\n" up to 1024 values
    std::vector<std::int32_t> values;
  };
  const Row rows[] = {
      {"CR LF", "5\r\n-3\r\n", {5, -3}},
      {"lone LF", "5\n-3\n", {5, -3}},
      {"lone CR", "5\r-3\r", {5, -3}},
      {"line ends and commas mixed", "1\r\n2\n3\r4,5\r\n", {1, 2, 3, 4, 5}},
      {"blank lines skipped", "\r\n\n \t\r\n5\r\n\r\n", {5}},
      {"blanks around values", " \t12 \t,  -4 \r\n", {12, -4}},
      {"quotes dropped", "\"12\", \" -4 \"\r\n", {12, -4}},
      {"a comma in quotes is no separator", "\"1,234\"\r\n", {0}},
      {"empty fields between commas", "1,,3,\r\n", {1, 0, 3, 0}},
      {"not numbers",
       "abc\r\n1e3\r\n0x10\r\n--5\r\n-\r\n.\r\n\"\"\r\n1 2\r\n",
       {0, 0, 0, 0, 0, 0, 0, 0}},
      {"fractions",
       "12.7\r\n12.5\r\n12.49\r\n-2.5\r\n-2.4\r\n.5\r\n7.\r\n",
       {13, 13, 12, -3, -2, 1, 7}},
      {"plus sign, leading zeros", "+5\r\n007\r\n-0\r\n", {5, 7, 0}},
      {"32-bit limits", "2147483647\r\n-2147483648\r\n2147483646.6\r\n", {kMax, kMin, kMax}},
      {"byte-order mark",
       "\xEF\xBB\xBF"
       "9\r\n",
       {9}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const int rest = kFileChannels - static_cast<int>(row.values.size());
    const SpectrumFileReading reading = ParseSpectrumFile(row.head + Repeat("7\r\n", rest));
    ASSERT_FALSE(reading.error) << *reading.error;
    std::vector<std::int32_t> expected = row.values;
    expected.resize(kFileChannels, 7);
    EXPECT_EQ(std::vector<std::int32_t>(reading.counts.begin(), reading.counts.end()), expected);
  }
}

TEST(ParseSpectrumFile, ACommaThatEndsTheFileEndsAValue) {
  const SpectrumFileReading reading = ParseSpectrumFile(Repeat("2\r\n", 1022) + "1,");
  ASSERT_FALSE(reading.error) << *reading.error;
  EXPECT_EQ(reading.counts[1022], 1);
  EXPECT_EQ(reading.counts[1023], 0);
}

TEST(ParseSpectrumFile, IgnoresEverythingAfterThe1024thValue) {
  const SpectrumFileReading reading = ParseSpectrumFile(Repeat("3,", 1024) + "99999999999,x\r\n\"");
  ASSERT_FALSE(reading.error) << *reading.error;
  for (const std::int32_t count : reading.counts) ASSERT_EQ(count, 3);
}

TEST(ParseSpectrumFile, RejectsTooFewValuesAndCountsOutOfRange) {
  struct Row {
    const char* what;
    std::string text;
    std::string error;
  };
  const std::string range = " is outside the range of a count, -2147483648 to 2147483647";
  const Row rows[] = {
      {"empty", "", "the file holds only 0 of the 1024 values of a spectrum"},
      {"1023 values", Repeat("1\r\n", 1023),
       "the file holds only 1023 of the 1024 values of a spectrum"},
      {"blank lines are no values", Repeat("1\r\n\r\n", 1023) + " \r\n",
       "the file holds only 1023 of the 1024 values of a spectrum"},
      {"above", Repeat("1\r\n", 5) + "2147483648\r\n" + Repeat("1\r\n", 1018),
       "line 6: 2147483648" + range},
      {"below", "-2147483649\r\n", "line 1: -2147483649" + range},
      {"rounded above", "2147483647.5\r\n", "line 1: 2147483647.5" + range},
      {"quoted", "\"4294967297\"\r\n", "line 1: 4294967297" + range},
      {"long", Repeat("9", 40), "line 1: 999999999999999999999999..." + range},
      {"every line end counts once", "\n\r\n\r5\r\n1,2,-99999999999\r\n",
       "line 5: -99999999999" + range},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const SpectrumFileReading reading = ParseSpectrumFile(row.text);
    ASSERT_TRUE(reading.error);
    EXPECT_EQ(*reading.error, row.error);
  }
}

TEST(SaveFileName, IsSamAndA14DigitLocalTimeStamp) {
  EXPECT_EQ(SaveFileName({2021, 3, 5, 9, 7, 3}), "sam20210305090703.csv");
  EXPECT_EQ(SaveFileName({1999, 12, 31, 23, 59, 59}), "sam19991231235959.csv");
  EXPECT_EQ(SaveFileName({2000, 1, 1, 0, 0, 0}), "sam20000101000000.csv");
}

}  // namespace
}  // namespace pha
