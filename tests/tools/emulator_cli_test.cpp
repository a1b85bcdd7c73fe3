// pha-emulator as a program: a run of a given count, its summary, its link.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

struct Outcome {
  int status = -1;
  std::string out;
};

Outcome Emulator(const std::string& arguments) {
  Outcome run;
  FILE* pipe = popen((std::string(PHA_EMULATOR) + " " + arguments + " 2>&1").c_str(), "r");
  std::array<char, 4096> buffer{};
  for (std::size_t n; (n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0;)
    run.out.append(buffer.data(), n);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST(EmulatorProgram, SendsItsCountSaysWhatItSentAndRemovesItsLink) {
  const std::filesystem::path link =
      std::filesystem::temp_directory_path() / ("pha-emulator-cli-" + std::to_string(getpid()));
  const Outcome run = Emulator("--link " + link.string() + " --fast --count 200 --channel 300");
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("frames sent: 200"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("channel sum: 60000"), std::string::npos) << run.out;
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

}  // namespace
