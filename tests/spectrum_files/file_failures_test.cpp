// Every way a save or a load can fail, each in a child process with the
// limit it needs (a file size, memory, a session without a terminal): one
// message naming the file and what to do, and nothing changed in memory or
// on disk.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "platform/posix/process.h"
#include "spectrum_files/scratch_folder.h"
#include "support/child_process.h"

namespace pha {
namespace {

using namespace pha::testing;

// As a desktop session may start the program: SIGXFSZ would end it, unless
// the program itself ignores it.
void LimitFileSize() {
  signal(SIGXFSZ, SIG_DFL);
  PrepareProcess("pha", EndSignals::kEndAtOnce);
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
    // An advised copy makes the very file that would not load.
    if (tells.starts_with("cp ")) {
      std::istringstream words(report.substr(report.find("cp ") + 3));
      std::string from, to;
      words >> from >> to;
      EXPECT_TRUE(to.starts_with(folder_ + "/" + GetParam().file)) << report;
    }
  }
  EXPECT_EQ(report.find(" ["), std::string::npos) << report;
  EXPECT_EQ(Snapshot(folder_), files_before);  // no file made, cut short or lost
}

INSTANTIATE_TEST_SUITE_P(Every, FileFailureTest, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pha
