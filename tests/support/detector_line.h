// The detector's serial line in tests: the emulator's pty, into which a test
// writes the frames it wants, as the detector would send them.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "emulator/pty_detector.h"

namespace pha::testing {

using emulator::PtyDetector;

inline std::vector<std::uint8_t> Frames(const std::vector<int>& channels) {
  std::vector<std::uint8_t> bytes;
  for (const int channel : channels) {
    bytes.push_back(static_cast<std::uint8_t>(channel & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(channel >> 8));
  }
  return bytes;
}

inline void SendBytes(const PtyDetector& line, const std::vector<std::uint8_t>& bytes) {
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t n = write(line.master_fd(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno != EINTR) throw std::runtime_error("cannot write to the pty");
    done += static_cast<std::size_t>(std::max<ssize_t>(n, 0));
  }
}

inline void Send(const PtyDetector& line, const std::vector<int>& channels) {
  SendBytes(line, Frames(channels));
}

}  // namespace pha::testing
