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

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "platform/files/posix_file_system.h"
#include "platform/files/process.h"
#include "spectrum_files/spectrum_file.h"
#include "support/child_process.h"
#include "support/fakes.h"

namespace pha {
namespace {

namespace fs = std::filesystem;

constexpr char kSaved[] = "data/sam20210305090703.csv";  // by testing::FakeClock

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

TEST_F(FileCommandsTest, SaveWritesTheSampleAndASavedFileLoadsBackIntoChannels0To1023Only) {
  CmdSav_Click(state_, context_);
  EXPECT_EQ(ReadBytes(kSaved), Lines("1", 1024));  // straight after a reset
  for (int channel = 0; channel < kFileChannels; ++channel)
    state_.SpcSmp[channel] = (channel % 2 == 0 ? 1 : -1) * channel * 2'000'003;
  state_.SpcSmp[1] = INT32_MIN;
  const Spectrum saved = state_.SpcSmp;
  CmdSav_Click(state_, context_);  // the same second: replaces the file
  EXPECT_EQ(ReadBytes(kSaved).substr(0, 25), "0\r\n-2147483648\r\n4000006\r\n");
  EXPECT_TRUE(PicGrp_.calls.empty());

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
  EXPECT_FALSE(PicGrp_.calls.empty());  // the loaded spectrum is drawn at once
}

// In the child process, before the click.
void GiveUpRoot() {
  if (geteuid() == 0 && setuid(65534) != 0) _exit(2);
}
// As a desktop session may start the program: SIGXFSZ would end it, unless
// the program itself ignores it.
void LimitFileSize() {
  signal(SIGXFSZ, SIG_DFL);
  PrepareProcess();
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
  const char* file;   // what the message names, in the working folder
  void (*prepare)();  // in the working folder, which holds kSaved as "earlier"
  void (*limit)();    // in the child, or nullptr
};

void PrintTo(const Failure& failure, std::ostream* out) { *out << failure.name; }

void Save(MeasurementState& state, FileCommandContext& context) { CmdSav_Click(state, context); }
void Nothing() {}

const Failure kFailures[] = {
    {"SaveWithoutDataFolder", Save, kSaved, [] { fs::remove_all("data"); }, nullptr},
    {"SaveWithoutPermission", Save, kSaved, [] { fs::permissions("data", fs::perms(0555)); },
     GiveUpRoot},
    {"SaveBeyondTheFileSizeLimit", Save, kSaved, Nothing, LimitFileSize},
    {"SaveOverAFolder", Save, kSaved,
     [] {
       fs::remove(kSaved);
       fs::create_directory(kSaved);
     },
     nullptr},
    {"LoadMissingFile", CmdLodSmp_Click, "data/sam.csv", Nothing, nullptr},
    {"LoadWithoutPermission", CmdLodSmp_Click, "data/sam.csv",
     [] {
       WriteBytes("data/sam.csv", Lines("5", 1024));
       fs::permissions("data/sam.csv", fs::perms::none);
     },
     GiveUpRoot},
    // A named pipe nobody writes to would block a plain read for ever.
    {"LoadANamedPipe", CmdLodRef_Click, "data/ref.csv", [] { mkfifo("data/ref.csv", 0644); },
     nullptr},
    {"LoadATerminal", CmdLodRef_Click, "data/ref.csv",
     [] {
       int master = -1, slave = -1;
       char name[256] = {};
       if (openpty(&master, &slave, name, nullptr, nullptr) == 0)
         fs::create_symlink(name, "data/ref.csv");
     },
     LeadASession},
    {"LoadAFileFarTooLarge", CmdLodRef_Click, "data/ref.csv",
     [] {
       WriteBytes("data/ref.csv", "1\r\n");
       fs::resize_file("data/ref.csv", std::uintmax_t{17} << 20);
     },
     nullptr},
#ifndef __SANITIZE_ADDRESS__  // which ends the process on a failed allocation by design
    {"LoadWithTooLittleMemory", CmdLodRef_Click, "data/ref.csv",
     [] { WriteBytes("data/ref.csv", Lines("1", 1024) + std::string(15 << 20, '\n')); },
     LimitMemory},
#endif
};

class FileFailureTest : public FileCommandsTest, public ::testing::WithParamInterface<Failure> {
 protected:
  // What the click showed, its one message, and notes of anything it must
  // not do.
  std::string Click() {
    if (GetParam().limit != nullptr) GetParam().limit();
    const MeasurementState before = state_;
    GetParam().click(state_, context_);
    std::string report = messages_.errors.size() == 1
                             ? messages_.errors[0]
                             : std::to_string(messages_.errors.size()) + " messages";
    if (!(state_ == before)) report += " [memory changed]";
    if (!PicGrp_.calls.empty()) report += " [redrawn]";
    if (open("/dev/tty", O_RDONLY | O_NOCTTY) >= 0) report += " [took a terminal]";
    return report;
  }
};

TEST_P(FileFailureTest, ShowsOneMessageNamingTheFileAndChangesNothing) {
  for (int channel = 0; channel < kSpectrumChannels; ++channel) state_.SpcSmp[channel] = channel;
  WriteBytes(kSaved, "earlier\r\n");
  GetParam().prepare();
  const std::map<std::string, std::string> files_before = Snapshot(folder_);

  const std::string report = testing::InChild([this] { return Click(); });
  EXPECT_NE(report.find(std::string(GetParam().file) + ": "), std::string::npos) << report;
  EXPECT_EQ(report.find(" ["), std::string::npos) << report;
  EXPECT_EQ(Snapshot(folder_), files_before);  // no file made, cut short or lost
}

INSTANTIATE_TEST_SUITE_P(Every, FileFailureTest, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pha
