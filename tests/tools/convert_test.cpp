// pha-convert for real: spectra saved as pha saves them, converted, and read
// back by the field's own file library and, for N42, by a second XML reader;
// bad inputs refused file by file; no file ever replaced.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "SpecUtils/DateTime.h"
#include "SpecUtils/EnergyCalibration.h"
#include "SpecUtils/SpecFile.h"
#include "spectrum_files/spectrum_file.h"
#include "support/child_process.h"

namespace pha {
namespace {

namespace fs = std::filesystem;

struct Ran {
  int status;
  std::string said;  // standard output and error
};

Ran Exec(const std::vector<std::string>& command, const std::function<void()>& in_child = {}) {
  testing::Program program(command, in_child);
  const int status = program.Ended();
  return {status, program.said};
}

// Every file below `folder`, with its size.
std::map<std::string, std::uintmax_t> Files(const fs::path& folder) {
  std::map<std::string, std::uintmax_t> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file()) files[entry.path().string()] = entry.file_size();
  return files;
}

// The N42-2012 layout of `n42` as xmllint reads it, against the test's
// spectrum: 600 s live, 605 s real from 10:04:55.
void ExpectN42Layout(const std::string& n42, const Spectrum& saved) {
  const Ran lint = Exec({"xmllint", "--noout", n42});
  EXPECT_EQ(lint.status, 0) << lint.said;
  const auto at = [&](const std::string& path) {
    return Exec({"xmllint", "--xpath",
                 "string(/*[local-name()='RadInstrumentData']/*[local-name()='RadMeasurement']/" +
                     path + ")",
                 n42})
        .said;
  };
  // An xs:duration of seconds, "PT600S" or "PT600.000000S".
  const auto seconds = [](const std::string& duration) {
    return duration.starts_with("PT") ? std::stod(duration.substr(2)) : -1.0;
  };
  EXPECT_EQ(seconds(at("*[local-name()='RealTimeDuration']")), 605);
  EXPECT_EQ(at("*[local-name()='StartDateTime']").substr(0, 19), "2026-12-07T10:04:55");
  const std::string spectrum = "*[local-name()='Spectrum']/";
  EXPECT_EQ(seconds(at(spectrum + "*[local-name()='LiveTimeDuration']")), 600);
  // In N42's "CountedZeroes" form, where one is given: a 0 followed by how
  // many zeros it stands for.
  const bool counted =
      at(spectrum + "*[local-name()='ChannelData']/@compressionCode").starts_with("CountedZeroes");
  std::istringstream data(at(spectrum + "*[local-name()='ChannelData']"));
  std::vector<double> channels;
  for (double value, zeros; data >> value;) {
    if (value == 0 && counted && data >> zeros)
      channels.insert(channels.end(), static_cast<std::size_t>(zeros), 0.0);
    else
      channels.push_back(value);
  }
  ASSERT_EQ(channels.size(), static_cast<std::size_t>(kFileChannels));
  for (int channel = 0; channel < kFileChannels; ++channel)
    EXPECT_EQ(channels[static_cast<std::size_t>(channel)], saved[channel] - 1) << channel;
}

class Convert : public ::testing::Test {
 protected:
  Convert() {
    char pattern[] = "/tmp/pha-convert-XXXXXX";
    folder_ = mkdtemp(pattern);
    // As pha saves one at 10:15:00 on 7 December 2026: every channel one more
    // than its pulses, each channel different.
    for (int channel = 0; channel < kFileChannels; ++channel)
      saved_[channel] = 1 + 3 * channel + (channel % 7);
    std::ofstream(Saved(), std::ios::binary) << FormatSpectrumFile(saved_);
  }
  ~Convert() override {
    Exec({"chmod", "-R", "u+rwx", folder_});
    fs::remove_all(folder_);
  }
  std::string Saved() const { return folder_ + "/sam20261207101500.csv"; }

  std::string folder_;
  Spectrum saved_{};
};

// The start is the time of saving less the real time, here 10:15:00 less
// 605 s. The N42 is read by another XML reader too: well-formed, and the
// channel data and the times where N42-2012 puts them.
TEST_F(Convert, EachFormatReadsBackChannelForChannelWithItsTimesAndCalibration) {
  const struct {
    const char* format;
    const char* live_time;
    const char* written;
  } rows[] = {{"n42", "10 min", ".n42"}, {"spe", "600", ".spe"}, {"cnf", "600 s", ".cnf"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.format);
    const Ran ran = Exec({PHA_CONVERT, "--format", row.format, "--live-time", row.live_time,
                          "--real-time", "605", "--calibration", "1.5,0.75,0.0001", Saved()});
    ASSERT_EQ(ran.status, 0) << ran.said;
    const std::string written = folder_ + "/sam20261207101500" + row.written;
    SpecUtils::SpecFile file;
    ASSERT_TRUE(file.load_file(written, SpecUtils::ParserType::Auto)) << written;
    ASSERT_EQ(file.measurements().size(), 1U);
    const auto& measurement = *file.measurements().front();
    ASSERT_EQ(measurement.num_gamma_channels(), static_cast<std::size_t>(kFileChannels));
    for (int channel = 0; channel < kFileChannels; ++channel) {
      ASSERT_EQ(measurement.gamma_channel_content(static_cast<std::size_t>(channel)),
                static_cast<float>(saved_[channel] - 1))
          << channel;
    }
    EXPECT_FLOAT_EQ(measurement.live_time(), 600.0F);
    EXPECT_FLOAT_EQ(measurement.real_time(), 605.0F);
    EXPECT_EQ(SpecUtils::to_iso_string(measurement.start_time()), "20261207T100455");
    const auto calibration = measurement.energy_calibration();
    ASSERT_NE(calibration, nullptr);
    EXPECT_NEAR(calibration->energy_for_channel(0.0), 1.5, 1e-3);
    EXPECT_NEAR(calibration->energy_for_channel(1000.0), 1.5 + 750 + 100, 1e-2);
    if (std::string(row.format) == "n42") ExpectN42Layout(written, saved_);
  }
}

// Each file that cannot be converted is named with its reason, and nothing
// is written for it; the next file is converted all the same. (The files
// that LodSam's reader refuses as no regular file or too large, which
// pha-convert reads with it, are in tests/spectrum_files.)
TEST_F(Convert, ABadFileIsToldAndTheNextOneIsConverted) {
  const std::string bad = folder_ + "/bad/sam20261207101501.csv";
  fs::create_directory(folder_ + "/bad");
  const auto lines = [&](const std::string& body) { std::ofstream(bad) << body; };
  const struct {
    const char* what;
    std::function<void()> make;
    const char* reason;  // a word of it
    bool as_nobody;
  } rows[] = {
      {"too few lines", [&] { lines("7\r\n7\r\n7\r\n"); }, " 3 ", false},
      {"a value out of range", [&] { lines("1\r\n99999999999\r\n" + std::string(1022 * 3, '\n')); },
       "line 2", false},
      {"in a folder that may not be read",
       [&] {
         lines(FormatSpectrumFile(saved_));
         chmod((folder_ + "/bad").c_str(), 0);
       },
       "permission", true},
      {"a count below one", [&] { lines("0\r\n" + FormatSpectrumFile(saved_)); }, "--as-saved",
       false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    if (row.as_nobody && geteuid() != 0) continue;  // root reads it anyway; nobody does not
    Exec({"chmod", "-R", "u+rwx", folder_ + "/bad"});
    fs::remove_all(folder_ + "/bad");
    fs::remove(folder_ + "/sam20261207101500.n42");
    fs::create_directory(folder_ + "/bad");
    row.make();
    Exec({"chmod", "o+rwx", folder_});
    const auto before = Files(folder_ + "/bad");
    const Ran ran = Exec({PHA_CONVERT, "--live-time", "600", bad, Saved()}, [&] {
      if (row.as_nobody && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(126);
    });
    EXPECT_EQ(ran.status, 1) << ran.said;
    EXPECT_NE(ran.said.find(bad + ": "), std::string::npos) << ran.said;
    EXPECT_NE(ran.said.find(row.reason), std::string::npos) << ran.said;
    Exec({"chmod", "-R", "u+rwx", folder_ + "/bad"});
    EXPECT_EQ(Files(folder_ + "/bad"), before);
    EXPECT_TRUE(fs::exists(folder_ + "/sam20261207101500.n42")) << ran.said;
  }
}

// A spectrum without a measuring time is the fault being mended: refused
// whole. A second conversion of a file keeps the first one's.
TEST_F(Convert, NothingIsWrittenWithoutATimeAndNoFileIsReplaced) {
  const auto before = Files(folder_);
  const Ran untimed = Exec({PHA_CONVERT, Saved()});
  EXPECT_EQ(untimed.status, 2) << untimed.said;
  EXPECT_NE(untimed.said.find("--live-time"), std::string::npos) << untimed.said;
  EXPECT_EQ(Files(folder_), before);

  for (int time = 0; time < 2; ++time)
    ASSERT_EQ(Exec({PHA_CONVERT, "--live-time", "600", "--format", "spe", Saved()}).status, 0);
  const auto written = Files(folder_);
  EXPECT_EQ(written.size(), before.size() + 2);
  EXPECT_TRUE(written.contains(folder_ + "/sam20261207101500-2.spe"));
}

}  // namespace
}  // namespace pha
