// A fresh working folder for each test of the file commands, holding the
// folder data, with the platform's file system and a fixed clock; and what
// the tests read and write there.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "platform/posix/posix_file_system.h"
#include "spectrum_files/file_commands.h"
#include "support/fakes.h"

namespace pha::testing {

namespace fs = std::filesystem;

inline constexpr char kSaved[] = "data/sam20210305090703.csv";  // by testing::FakeClock
inline constexpr char kSavedAgain[] = "data/sam20210305090703-2.csv";

inline std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

inline void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string Lines(const std::string& line, int count) {
  std::string text;
  while (count-- > 0) text += line + "\r\n";
  return text;
}

// Every file and folder below `folder`, with the bytes of each file.
inline std::map<std::string, std::string> Snapshot(const fs::path& folder) {
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
  FakeClock clock_;  // 09:07:03 on 5 March 2021
  FakeMessages messages_;
  CountingSurface PicGrp_;
  FakeMonotonicClock monotonic_;
  FileCommandContext context_{files_, clock_, monotonic_, messages_, PicGrp_};
  MeasurementState state_;
};

}  // namespace pha::testing
