// Reading the spectrum file's text. fuzz/spectrum_file_fuzzer.cpp checks that
// the three line ends and blanks around values read alike, and that what
// reads writes back; these are the forms themselves. What a load refuses is
// in file_commands_test.cpp.
#include "spectrum_files/spectrum_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pha {
namespace {

std::string Repeat(std::string_view piece, int times) {
  std::string text;
  while (times-- > 0) text += piece;
  return text;
}

TEST(ParseSpectrumFile, ReadsValuesInEveryAcceptedForm) {
  struct Row {
    const char* what;
    std::string head;  // followed by "7\r\n" up to 1024 values
    std::vector<std::int32_t> values;
  };
  const Row rows[] = {
      {"line ends and commas mixed", "1\r\n2\n3\r4,5\r\n", {1, 2, 3, 4, 5}},
      {"blank lines skipped", "\r\n\n \t\r\n5\r\n\r\n", {5}},
      {"quotes dropped", "\"12\", \" -4 \"\r\n", {12, -4}},
      {"a comma in quotes is no separator", "\"1,234\"\r\n", {0}},
      {"not numbers", "abc\r\n1e3\r\n0x10\r\n--5\r\n.\r\n\"\"\r\n1 2\r\n", {0, 0, 0, 0, 0, 0, 0}},
      {"fractions", "12.5\r\n12.49\r\n-2.5\r\n.5\r\n7.\r\n", {13, 12, -3, 1, 7}},
      {"limits", "2147483647\n-2147483648\n2147483646.6\n", {INT32_MAX, INT32_MIN, INT32_MAX}},
      {"byte-order mark", "\357\273\2779\r\n", {9}},
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

}  // namespace
}  // namespace pha
