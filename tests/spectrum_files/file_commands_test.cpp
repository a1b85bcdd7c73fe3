// The file commands on real files, in a fresh working folder per test, with
// the platform's file system and a fixed clock.
#include "spectrum_files/file_commands.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <sstream>
#include <string>

#include "platform/files/posix_file_system.h"
#include "spectrum_files/spectrum_file.h"
#include "support/fakes.h"

namespace pha {
namespace {

namespace fs = std::filesystem;

constexpr char kSaved[] = "data/sam20210305090703.csv";  // by testing::FakeClock

std::string Repeat(std::string_view piece, int times) {
  std::string text;
  while (times-- > 0) text += piece;
  return text;
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
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

bool SameState(const MeasurementState& a, const MeasurementState& b) {
  return a.SpcSmp == b.SpcSmp && a.SpcSmt == b.SpcSmt && a.SpcRef == b.SpcRef &&
         a.FlgRun == b.FlgRun && a.TimMes == b.TimMes && a.CntTot == b.CntTot &&
         a.SumTot == b.SumTot && a.CntSec == b.CntSec && a.SumSec == b.SumSec;
}

class FileCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pha-files-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    ASSERT_EQ(chmod(pattern, 0755), 0);  // reachable by a child that gave up root
    home_ = fs::current_path();
    ASSERT_EQ(chdir(pattern), 0);
    folder_ = fs::current_path().string();
    fs::create_directory("data");
    IniMes(state_, PicGrp_);
    PicGrp_.calls.clear();
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(folder_ + "/data", fs::perms::owner_all, fs::perm_options::add, ignored);
    EXPECT_EQ(chdir(home_.c_str()), 0);
    fs::remove_all(folder_, ignored);
  }

  std::string folder_;  // the working folder, as the system names it
  fs::path home_;
  PosixFileSystem files_;
  testing::FakeClock clock_;  // 09:07:03 on 5 March 2021
  testing::FakeMessages messages_;
  testing::RecordingSurface PicGrp_;
  FileCommandContext context_{files_, clock_, messages_, PicGrp_};
  MeasurementState state_;
};

TEST_F(FileCommandsTest, SaveWrites1024LinesOfOneAfterStartUpUnderTheClocksName) {
  const MeasurementState before = state_;
  CmdSav_Click(state_, context_);
  EXPECT_EQ(messages_.errors, std::vector<std::string>{});
  EXPECT_EQ(ReadBytes(kSaved), Repeat("1\r\n", 1024));
  EXPECT_EQ(fs::file_size(kSaved), 3072u);
  EXPECT_TRUE(SameState(state_, before));
  EXPECT_TRUE(PicGrp_.calls.empty());
  // A second save in the same second replaces the file; a later one adds its own.
  state_.SpcSmp[0] = 42;
  CmdSav_Click(state_, context_);
  clock_.now = {1999, 12, 31, 23, 59, 59};
  CmdSav_Click(state_, context_);
  const std::string saved = "42\r\n" + Repeat("1\r\n", 1023);
  const std::map<std::string, std::string> expected{
      {folder_ + "/data", "<folder>"},
      {folder_ + "/" + kSaved, saved},
      {folder_ + "/data/sam19991231235959.csv", saved}};
  EXPECT_EQ(Snapshot(folder_), expected);
}

struct LoadCommand {
  const char* file_name;
  void (*click)(MeasurementState&, FileCommandContext&);
  Spectrum MeasurementState::*target;
};
const LoadCommand kLoads[] = {{"data/sam.csv", CmdLodSmp_Click, &MeasurementState::SpcSmp},
                              {"data/ref.csv", CmdLodRef_Click, &MeasurementState::SpcRef}};

TEST_F(FileCommandsTest, ASavedFileLoadsBackIntoChannels0To1023Only) {
  for (int channel = 0; channel < kFileChannels; ++channel) {
    state_.SpcSmp[channel] = (channel % 2 == 0 ? 1 : -1) * channel * 2'000'003;
  }
  state_.SpcSmp[1] = std::numeric_limits<std::int32_t>::min();
  state_.SpcSmp[2] = std::numeric_limits<std::int32_t>::max();
  const Spectrum saved = state_.SpcSmp;
  CmdSav_Click(state_, context_);
  EXPECT_EQ(ReadBytes(kSaved).substr(0, 38), "0\r\n-2147483648\r\n2147483647\r\n-6000009\r\n");
  for (const LoadCommand& load : kLoads) {
    SCOPED_TRACE(load.file_name);
    fs::copy_file(kSaved, load.file_name);
    // A run is going on: every counter and spectrum holds something.
    state_ = {};
    state_.SpcSmp.fill(3);
    state_.SpcSmt.fill(4);
    state_.SpcRef.fill(5);
    state_.FlgRun = Flag::True;
    state_.TimMes = 6;
    state_.CntTot = state_.SumTot = state_.CntSec = state_.SumSec = 7;
    MeasurementState expected = state_;
    std::copy_n(saved.begin(), kFileChannels, (expected.*load.target).begin());
    PicGrp_.calls.clear();

    load.click(state_, context_);
    EXPECT_EQ(messages_.errors, std::vector<std::string>{});
    EXPECT_TRUE(SameState(state_, expected));
    ASSERT_FALSE(PicGrp_.calls.empty());  // DrwGrp drew the loaded spectrum
    EXPECT_EQ(PicGrp_.calls.front().op, testing::RecordingSurface::Op::Cls);
  }
}

TEST_F(FileCommandsTest, LoadTakesTheFirst1024ValuesOfAnyLayout) {
  std::ostringstream one_line, long_file;
  for (int channel = 0; channel < 1100; ++channel) {
    if (channel < kFileChannels) one_line << (channel == 0 ? "" : ",") << channel - 500;
    long_file << channel - 500 << "\r\n";
  }
  long_file << "99999999999,x\r\n\"";  // past the 1024th value: never read
  for (const std::string& text : {one_line.str(), long_file.str()}) {
    state_.SpcSmp.fill(1);
    WriteBytes("data/sam.csv", text);
    CmdLodSmp_Click(state_, context_);
    for (int channel = 0; channel < kSpectrumChannels; ++channel) {
      ASSERT_EQ(state_.SpcSmp[channel], channel < kFileChannels ? channel - 500 : 1) << channel;
    }
  }
  EXPECT_EQ(messages_.errors, std::vector<std::string>{});
}

// In the child process, before the click.
void GiveUpRoot() {
  if (geteuid() == 0 && setuid(65534) != 0) _exit(2);
}
void LimitFileSizeTo100Bytes() {
  signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
  const rlimit limit{100, 100};
  if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(2);
}

struct Failure {
  const char* name;
  void (*click)(MeasurementState&, FileCommandContext&);
  void (*prepare)();    // in the working folder, which holds kSaved as "earlier"
  void (*limit)();      // in the child, or nullptr
  const char* message;  // '@' stands for the working folder
};

void PrintTo(const Failure& failure, std::ostream* out) { *out << failure.name; }

void Save(MeasurementState& state, FileCommandContext& context) { CmdSav_Click(state, context); }
void Nothing() {}

const Failure kFailures[] = {
    {"SaveWithoutDataFolder", Save, [] { fs::remove_all("data"); }, nullptr,
     "Cannot save the sample spectrum to @/data/sam20210305090703.csv: the folder @/data does not "
     "exist."},
    {"SaveWhereDataIsAFile", Save,
     [] {
       fs::remove_all("data");
       WriteBytes("data", "x");
     },
     nullptr,
     "Cannot save the sample spectrum to @/data/sam20210305090703.csv: @/data is not a folder."},
    {"SaveWithoutPermission", Save, [] { fs::permissions("data", fs::perms(0555)); }, GiveUpRoot,
     "Cannot save the sample spectrum to @/data/sam20210305090703.csv: permission denied."},
    {"SaveBeyondTheFileSizeLimit", Save, Nothing, LimitFileSizeTo100Bytes,
     "Cannot save the sample spectrum to @/data/sam20210305090703.csv: file too large."},
    {"SaveOverAFolder", Save,
     [] {
       fs::remove(kSaved);
       fs::create_directory(kSaved);
     },
     nullptr, "Cannot save the sample spectrum to @/data/sam20210305090703.csv: is a directory."},
    {"SaveWithoutWorkingFolder", Save, [] { fs::remove_all(fs::current_path()); }, nullptr,
     "Cannot save the sample spectrum to data/sam20210305090703.csv: the working folder cannot "
     "be found (no such file or directory)."},
    {"LoadWithoutDataFolder", CmdLodSmp_Click, [] { fs::remove_all("data"); }, nullptr,
     "Cannot load @/data/sam.csv: the folder @/data does not exist."},
    {"LoadMissingSample", CmdLodSmp_Click, Nothing, nullptr,
     "Cannot load @/data/sam.csv: the file does not exist."},
    {"LoadMissingReference", CmdLodRef_Click, Nothing, nullptr,
     "Cannot load @/data/ref.csv: the file does not exist."},
    {"LoadTooFewValues", CmdLodSmp_Click, [] { WriteBytes("data/sam.csv", Repeat("5\r\n", 1023)); },
     nullptr,
     "Cannot load @/data/sam.csv: the file holds only 1023 of the 1024 values of a spectrum."},
    {"LoadValueOutOfRange", CmdLodRef_Click,
     [] {
       WriteBytes("data/ref.csv", Repeat("5\r\n", 6) + "-2147483649\r\n" + Repeat("5\r\n", 1017));
     },
     nullptr,
     "Cannot load @/data/ref.csv: line 7: -2147483649 is outside the range of a count, "
     "-2147483648 to 2147483647."},
    {"LoadWithoutPermission", CmdLodSmp_Click,
     [] {
       WriteBytes("data/sam.csv", Repeat("5\r\n", 1024));
       fs::permissions("data/sam.csv", fs::perms::none);
     },
     GiveUpRoot, "Cannot load @/data/sam.csv: permission denied."},
    {"LoadAFolder", CmdLodSmp_Click, [] { fs::create_directory("data/sam.csv"); }, nullptr,
     "Cannot load @/data/sam.csv: is a directory."},
    // A named pipe nobody writes to would block a plain read for ever.
    {"LoadANamedPipe", CmdLodRef_Click, [] { mkfifo("data/ref.csv", 0644); }, nullptr,
     "Cannot load @/data/ref.csv: it is not a regular file."},
    {"LoadAFileFarTooLarge", CmdLodRef_Click,
     [] {
       WriteBytes("data/ref.csv", "1\r\n");
       fs::resize_file("data/ref.csv", std::uintmax_t{17} << 20);
     },
     nullptr,
     "Cannot load @/data/ref.csv: the file is larger than 16 MiB, far too large for a spectrum."},
};

class FileFailureTest : public FileCommandsTest, public ::testing::WithParamInterface<Failure> {
 protected:
  // Clicks in a child process, so that a limit or a lost privilege stays
  // there, and returns what the click showed: its one message, and notes of
  // anything it must not do.
  std::string ClickInChild() {
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
      close(pipe_ends[0]);
      if (GetParam().limit != nullptr) GetParam().limit();
      const MeasurementState before = state_;
      GetParam().click(state_, context_);
      std::string report = messages_.errors.size() == 1
                               ? messages_.errors[0]
                               : std::to_string(messages_.errors.size()) + " messages";
      if (!SameState(state_, before)) report += " [memory changed]";
      if (!PicGrp_.calls.empty()) report += " [redrawn]";
      _exit(write(pipe_ends[1], report.data(), report.size()) == ssize_t(report.size()) ? 0 : 3);
    }
    close(pipe_ends[1]);
    std::string report;
    char buffer[4096];
    for (ssize_t got; (got = read(pipe_ends[0], buffer, sizeof buffer)) > 0;)
      report.append(buffer, static_cast<std::size_t>(got));
    close(pipe_ends[0]);
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      report += " [child failed]";
    }
    return report;
  }
};

TEST_P(FileFailureTest, ShowsTheFileAndTheReasonAndChangesNothing) {
  for (int channel = 0; channel < kSpectrumChannels; ++channel) state_.SpcSmp[channel] = channel;
  WriteBytes(kSaved, "earlier\r\n");
  GetParam().prepare();
  const std::map<std::string, std::string> files_before = Snapshot(folder_);

  std::string expected = GetParam().message;
  for (std::size_t at; (at = expected.find('@')) != std::string::npos;)
    expected.replace(at, 1, folder_);
  EXPECT_EQ(ClickInChild(), expected);
  EXPECT_EQ(Snapshot(folder_), files_before);  // no file made, cut short or lost
}

INSTANTIATE_TEST_SUITE_P(Every, FileFailureTest, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pha
