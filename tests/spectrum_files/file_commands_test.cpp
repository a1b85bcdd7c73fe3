// The file commands on real files, in a fresh working folder per test, with
// the platform's file system and a fixed clock.
#include "spectrum_files/file_commands.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <map>
#include <string>

#include "main_window/shell_word.h"
#include "platform/posix/clocks.h"
#include "spectrum_files/scratch_folder.h"
#include "spectrum_files/spectrum_file.h"
#include "support/child_process.h"

namespace pha {
namespace {

using namespace pha::testing;

TEST_F(FileCommandsTest, SaveWritesTheSampleAndASavedFileLoadsBackIntoChannels0To1023Only) {
  const int descriptors = testing::OpenDescriptors();
  CmdSav_Click(state_, context_);
  EXPECT_EQ(ReadBytes(kSaved), Lines("1", 1024));  // straight after a reset
  for (int channel = 0; channel < kFileChannels; ++channel)
    state_.SpcSmp[channel] = (channel % 2 == 0 ? 1 : -1) * channel * 2'000'003;
  state_.SpcSmp[1] = INT32_MIN;
  const Spectrum saved = state_.SpcSmp;
  monotonic_.now_ms += 400;
  CmdSav_Click(state_, context_);  // the same second: the later one is kept
  EXPECT_EQ(ReadBytes(kSaved).substr(0, 25), "0\r\n-2147483648\r\n4000006\r\n");
  EXPECT_EQ(PicGrp_.drawings, 0);

  // LodSmp while a run goes on (LodRef: fuzz/spectrum_file_fuzzer.cpp).
  fs::copy_file(kSaved, "data/sam.csv");
  state_.SpcSmp.fill(3), state_.SpcSmt.fill(4), state_.SpcRef.fill(5);
  state_.FlgRun = Flag::True;
  state_.TimMes = 6;
  state_.CntTot = state_.SumTot = state_.CntSec = state_.SumSec = 7;
  MeasurementState expected = state_;
  std::copy_n(saved.begin(), kFileChannels, expected.SpcSmp.begin());
  CmdLodSmp_Click(state_, context_);
  EXPECT_EQ(messages_.errors, std::vector<std::string>{});
  expected.spectra_changes = state_.spectra_changes;
  EXPECT_TRUE(state_ == expected);
  EXPECT_GT(PicGrp_.drawings, 0);                      // the loaded spectrum is drawn at once
  EXPECT_EQ(testing::OpenDescriptors(), descriptors);  // every file closed again
}

// Where the local time repeats (the clocks go back in autumn), or another
// program left a file under the name, the save takes the next free name.
TEST_F(FileCommandsTest, ASaveNeverReplacesAFileItDidNotJustWrite) {
  struct Save {
    std::int64_t after_ms;  // after the one before
    int clock_s;            // how far the local clock moved meanwhile
    std::int32_t count;     // in every channel
  };
  const std::string two_seconds_later = "data/sam20210305090705.csv";
  const struct {
    const char* what;
    bool another_programs;  // a file under the name already
    std::vector<Save> saves;
    std::map<std::string, std::string> files;
  } rows[] = {
      {"the clocks repeat the hour",
       false,
       {{0, 0, 2}, {3'600'000, 0, 3}},
       {{kSaved, Lines("2", 1024)}, {kSavedAgain, Lines("3", 1024)}}},
      {"two saves 2 s apart",
       false,
       {{0, 0, 2}, {2000, 2, 3}},
       {{kSaved, Lines("2", 1024)}, {two_seconds_later, Lines("3", 1024)}}},
      {"another program's file, then two clicks in one second",
       true,
       {{0, 0, 2}, {400, 0, 3}},
       {{kSaved, "earlier\r\n"}, {kSavedAgain, Lines("3", 1024)}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    fs::remove_all("data");
    fs::create_directory("data");
    context_.last_save = {};
    if (row.another_programs) WriteBytes(kSaved, "earlier\r\n");
    clock_.now.second = 3;
    for (const Save& save : row.saves) {
      monotonic_.now_ms += save.after_ms;
      clock_.now.second += save.clock_s;
      state_.SpcSmp.fill(save.count);
      CmdSav_Click(state_, context_);
    }
    std::map<std::string, std::string> expected;
    for (const auto& [name, bytes] : row.files) expected[folder_ + "/" + name] = bytes;
    EXPECT_EQ(Snapshot(folder_ + "/data"), expected);
  }
  EXPECT_EQ(messages_.errors, std::vector<std::string>{});
}

// The name carries the system's own local time, here a zone 5 h 45 min
// ahead of UTC.
TEST_F(FileCommandsTest, ASaveIsNamedByTheLocalDateAndTime) {
  const std::string zone = std::getenv("TZ") != nullptr ? std::getenv("TZ") : "";
  setenv("TZ", "PHA-5:45", 1);
  tzset();
  const auto stamp = [] {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char name[64];
    std::strftime(name, sizeof name, "data/sam%Y%m%d%H%M%S.csv", &local);
    return std::string(name);
  };
  LocalClock clock;
  FileCommandContext context{files_, clock, monotonic_, messages_, PicGrp_};
  const std::string before = stamp();
  CmdSav_Click(state_, context);
  const std::string after = stamp();
  zone.empty() ? unsetenv("TZ") : setenv("TZ", zone.c_str(), 1);
  tzset();
  EXPECT_TRUE(fs::exists(before) || fs::exists(after)) << before;
}

// Told at start-up, before a measurement worth saving has run.
TEST_F(FileCommandsTest, AtStartUpTheOperatorLearnsWhenSaveCannotWork) {
  const std::pair<void (*)(), const char*> rows[] = {
      {[] {}, nullptr},                                              // a folder data
      {[] { fs::remove_all("data"); }, "mkdir -p "},                 // none
      {[] { fs::remove_all("data"), WriteBytes("data", ""); }, ""},  // a file in the way
  };
  for (const auto& [prepare, tells] : rows) {
    prepare();
    messages_.errors.clear();
    CheckDataFolder(context_);
    ASSERT_EQ(messages_.errors.size(), tells == nullptr ? 0U : 1U) << tells;
    for (const std::string& error : messages_.errors)
      EXPECT_NE(error.find(std::string(tells) + folder_ + "/data"), std::string::npos) << error;
  }
}

// The commands that messages advise give a shell the very path.
TEST(ShellWord, AShellReadsThePathBackAsItWas) {
  for (const std::string path : {"/home/ana/data", "/home/ana/Ana's data", "/tmp/a b$c\"d`e\\"}) {
    std::string read_back(256, '\0');
    FILE* shell = popen(("printf %s " + ShellWord(path)).c_str(), "r");
    read_back.resize(fread(read_back.data(), 1, read_back.size(), shell));
    pclose(shell);
    EXPECT_EQ(read_back, path);
  }
}

}  // namespace
}  // namespace pha
