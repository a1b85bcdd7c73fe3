// A pseudo-terminal pair standing in for a serial line: the test writes the
// detector's bytes into the master, the program opens the slave.
#pragma once

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace pha::testing {

class PtyPair {
 public:
  PtyPair() {
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
      throw std::runtime_error("openpty failed");
    slave_path_ = name;
    // Raw from the start, so that the line discipline neither echoes nor
    // translates bytes written before the program opens the port.
    termios settings{};
    tcgetattr(slave_, &settings);
    cfmakeraw(&settings);
    tcsetattr(slave_, TCSANOW, &settings);
  }
  ~PtyPair() {
    CloseMaster();
    if (slave_ >= 0) close(slave_);
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& SlavePath() const { return slave_path_; }
  int Master() const { return master_; }

  void Write(const std::vector<std::uint8_t>& bytes) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) throw std::runtime_error("write to pty master failed");
      done += static_cast<std::size_t>(n);
    }
  }

  // Hangs the line up under an open port, like an unplugged adapter.
  void CloseMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }
  // Closes the test's own slave descriptor, so that only the port holds it.
  void CloseSlave() {
    if (slave_ >= 0) close(slave_);
    slave_ = -1;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slave_path_;
};

inline std::vector<std::uint8_t> Frames(const std::vector<int>& channels) {
  std::vector<std::uint8_t> bytes;
  for (const int channel : channels) {
    bytes.push_back(static_cast<std::uint8_t>(channel & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(channel >> 8));
  }
  return bytes;
}

}  // namespace pha::testing
