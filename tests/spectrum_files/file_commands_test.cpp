// The file commands on real files, in a fresh working folder per test, with
// the platform's file system and a fixed clock.
#include "spectrum_files/file_commands.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "main_window/shell_word.h"
#include "platform/posix/clocks.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/process.h"
#include "spectrum_files/spectrum_file.h"
#include "support/child_process.h"
#include "support/fakes.h"

namespace pha {
namespace {

namespace fs = std::filesystem;

constexpr char kSaved[] = "data/sam20210305090703.csv";  // by testing::FakeClock
constexpr char kSavedAgain[] = "data/sam20210305090703-2.csv";

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Lines(const std::string& line, int count) {
  std::string text;
  while (count-- > 0) text += line + "\r\n";
  return text;
}

// Every file and folder below `folder`, with the bytes of each file.
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
  std::map<std::string, std::string> entries;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder, error)) {
    entries[entry.path().string()] = entry.is_directory()      ? "<folder>"
                                     : entry.is_regular_file() ? ReadBytes(entry.path())
                                                               : "<special>";
  }
  return entries;
}

class FileCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pha-files-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    home_ = fs::current_path();
    ASSERT_EQ(chdir(pattern), 0);
    folder_ = fs::current_path().string();
    fs::create_directory("data");
    IniMes(state_, PicGrp_);
    PicGrp_.drawings = 0;
  }
  void TearDown() override {
    std::error_code ignored;
    EXPECT_EQ(chdir(home_.c_str()), 0);
    fs::remove_all(folder_, ignored);
  }

  std::string folder_;  // the working folder, as the system names it
  fs::path home_;
  PosixFileSystem files_;
  testing::FakeClock clock_;  // 09:07:03 on 5 March 2021
  testing::FakeMessages messages_;
  testing::CountingSurface PicGrp_;
  testing::FakeMonotonicClock monotonic_;
  FileCommandContext context_{files_, clock_, monotonic_, messages_, PicGrp_};
  MeasurementState state_;
};

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
  const struct {
    const char* what;
    void (*prepare)();
    const char* tells;  // nullptr: nothing to tell
  } rows[] = {
      {"a folder data", [] {}, nullptr},
      {"no folder data", [] { fs::remove_all("data"); }, "mkdir -p "},
      {"a file named data", [] { fs::remove_all("data"), WriteBytes("data", ""); }, "not a folder"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    row.prepare();
    messages_.errors.clear();
    CheckDataFolder(context_);
    if (row.tells == nullptr) {
      EXPECT_EQ(messages_.errors, std::vector<std::string>{});
    } else {
      ASSERT_EQ(messages_.errors.size(), 1U);
      EXPECT_NE(messages_.errors[0].find(folder_ + "/data"), std::string::npos)
          << messages_.errors[0];
      EXPECT_NE(messages_.errors[0].find(row.tells), std::string::npos) << messages_.errors[0];
    }
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

// As a desktop session may start the program: SIGXFSZ would end it, unless
// the program itself ignores it.
void LimitFileSize() {
  signal(SIGXFSZ, SIG_DFL);
  PrepareProcess("pha");
  const rlimit limit{2048, 2048};
  if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(2);
}
// Room for a few MiB more than the process holds already.
void LimitMemory() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0;
  statm >> pages;
  const rlim_t bytes = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (rlim_t{6} << 20);
  const rlimit limit{bytes, bytes};
  if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(2);
}
// A session leader without a controlling terminal takes the first terminal
// it opens without O_NOCTTY.
void LeadASession() {
  if (setsid() < 0) _exit(2);
}

struct Failure {
  const char* name;
  void (*click)(MeasurementState&, FileCommandContext&);
  const char* file;  // what the message names, in the working folder
  // What else it says (the line, the remedy; @ stands for the working
  // folder), or nullptr.
  const char* tells;
  void (*prepare)();  // in the working folder, which holds kSaved as "earlier"
  void (*limit)();    // in the child, or nullptr
};

void PrintTo(const Failure& failure, std::ostream* out) { *out << failure.name; }

void Save(MeasurementState& state, FileCommandContext& context) { CmdSav_Click(state, context); }
void Nothing() {}

// A file whose seventh line holds `value` and all others 5.
void SeventhLine(const char* value) {
  WriteBytes("data/ref.csv", Lines("5", 6) + value + "\r\n" + Lines("5", 1017));
}

const Failure kFailures[] = {
    {"SaveWithoutDataFolder", Save, kSaved, "mkdir -p @/data ", [] { fs::remove_all("data"); },
     nullptr},
    {"SaveBeyondTheFileSizeLimit", Save, kSaved, nullptr, Nothing, LimitFileSize},
    {"LoadMissingFile", CmdLodSmp_Click, "data/sam.csv", "cp @/data/", Nothing, nullptr},
    {"LoadWithoutDataFolder", CmdLodSmp_Click, "data/sam.csv", "mkdir -p @/data ",
     [] { fs::remove_all("data"); }, nullptr},
    // A named pipe nobody writes to would block a plain read for ever.
    {"LoadANamedPipe", CmdLodRef_Click, "data/ref.csv", nullptr,
     [] { mkfifo("data/ref.csv", 0644); }, nullptr},
    {"LoadATerminal", CmdLodRef_Click, "data/ref.csv", nullptr,
     [] {
       int master = -1, slave = -1;
       char name[256] = {};
       if (openpty(&master, &slave, name, nullptr, nullptr) == 0)
         fs::create_symlink(name, "data/ref.csv");
     },
     LeadASession},
    {"LoadAFileFarTooLarge", CmdLodRef_Click, "data/ref.csv", nullptr,
     [] {
       WriteBytes("data/ref.csv", "1\r\n");
       fs::resize_file("data/ref.csv", std::uintmax_t{17} << 20);
     },
     nullptr},
    {"LoadWithTooLittleMemory", CmdLodRef_Click, "data/ref.csv", nullptr,
     [] { WriteBytes("data/ref.csv", Lines("1", 1024) + std::string(15 << 20, '\n')); },
     LimitMemory},
    // What the file holds.
    {"LoadTooFewValues", CmdLodSmp_Click, "data/sam.csv", "1023",
     [] { WriteBytes("data/sam.csv", Lines("5", 1023)); }, nullptr},
    {"LoadAValueAboveTheRange", CmdLodRef_Click, "data/ref.csv", "line 7",
     [] { SeventhLine("2147483648"); }, nullptr},
    {"LoadAValueBelowTheRange", CmdLodRef_Click, "data/ref.csv", "line 7",
     [] { SeventhLine("-2147483649"); }, nullptr},
    {"LoadAFractionRoundedOutOfTheRange", CmdLodRef_Click, "data/ref.csv", "line 7",
     [] { SeventhLine("2147483647.5"); }, nullptr},
};

class FileFailureTest : public FileCommandsTest, public ::testing::WithParamInterface<Failure> {
 protected:
  // What the click showed, its one message, and notes of anything it must
  // not do.
  std::string Click() {
    if (GetParam().limit != nullptr) GetParam().limit();
    const MeasurementState before = state_;
    const int descriptors = testing::OpenDescriptors();
    GetParam().click(state_, context_);
    std::string report = messages_.errors.size() == 1
                             ? messages_.errors[0]
                             : std::to_string(messages_.errors.size()) + " messages";
    if (!(state_ == before)) report += " [memory changed]";
    if (PicGrp_.drawings > 0) report += " [redrawn]";
    if (testing::OpenDescriptors() != descriptors) report += " [a descriptor left open]";
    if (open("/dev/tty", O_RDONLY | O_NOCTTY) >= 0) report += " [took a terminal]";
    return report;
  }
};

TEST_P(FileFailureTest, ShowsOneMessageNamingTheFileAndChangesNothing) {
#ifdef __SANITIZE_ADDRESS__
  if (GetParam().limit == LimitMemory)
    GTEST_SKIP() << "AddressSanitizer ends the process on a failed allocation, by design";
#endif
  for (int channel = 0; channel < kSpectrumChannels; ++channel) state_.SpcSmp[channel] = channel;
  WriteBytes(kSaved, "earlier\r\n");
  GetParam().prepare();
  const std::map<std::string, std::string> files_before = Snapshot(folder_);

  const std::string report = testing::InChild([this] { return Click(); });
  EXPECT_NE(report.find(std::string(GetParam().file) + ": "), std::string::npos) << report;
  if (GetParam().tells != nullptr) {
    std::string tells = GetParam().tells;
    if (const std::size_t at = tells.find('@'); at != std::string::npos)
      tells.replace(at, 1, folder_);
    EXPECT_NE(report.find(tells), std::string::npos) << report;
  }
  EXPECT_EQ(report.find(" ["), std::string::npos) << report;
  EXPECT_EQ(Snapshot(folder_), files_before);  // no file made, cut short or lost
}

INSTANTIATE_TEST_SUITE_P(Every, FileFailureTest, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pha
