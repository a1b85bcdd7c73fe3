// Serial port 1 for real on a pseudo-terminal, with the decoder behind it:
// what the tests of the serial line share.
#pragma once

#include <termios.h>

#include <string>
#include <vector>

#include "acquisition/pulse_decoder.h"
#include "platform/serial/qt_serial_port.h"
#include "support/detector_line.h"
#include "support/fakes.h"
#include "support/qt_wait.h"

namespace pha::testing {

// The decoder on a real port, with a measurement running so that every
// accepted channel shows in the sample spectrum. The port opens `device`,
// the test's pty unless a test names another path; what it reports is kept.
struct DecoderOnPty {
  explicit DecoderOnPty(std::string device = {}, SerialPortTiming timing = {})
      : port{{{1, device.empty() ? pty.slave_path() : device}}, nullptr, timing} {
    state.SpcSmp.fill(1);
    state.SpcSmt.fill(1);
    state.FlgRun = Flag::True;
    port.OnComm([this] { decoder.MSComm1_OnComm(); });
    port.OnLineReport([this](const std::string& message) { reports.push_back(message); });
    SetUpPort(port);
  }
  bool Counted(std::int64_t frames, int timeout_ms = 10000) {
    return WaitFor([&] { return state.CntTot >= frames; }, timeout_ms);
  }

  PtyDetector pty;
  QtSerialPort port;
  FakeWindow title;
  MeasurementState state;
  PulseDecoder decoder{port, title, state};
  std::vector<std::string> reports;
};

// As another program may leave the line: cooked, 9600 baud, 7E2, flow
// control.
inline bool SpoilLine(int fd) {
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) return false;
  cfsetspeed(&settings, B9600);
  settings.c_cflag = (settings.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB | CRTSCTS;
  settings.c_iflag |= IXON | IXOFF | ICRNL | INLCR | ISTRIP;
  settings.c_lflag |= ICANON | ECHO | ISIG;
  return tcsetattr(fd, TCSANOW, &settings) == 0;
}

// Whether the line is the detector's: 19200 baud, 8N1, raw, no flow control.
inline bool IsDetectorLine(int fd) {
  termios settings{};
  return tcgetattr(fd, &settings) == 0 && cfgetispeed(&settings) == B19200 &&
         (settings.c_cflag & CSIZE) == CS8 &&
         (settings.c_cflag & (PARENB | CSTOPB | CRTSCTS)) == 0 &&
         (settings.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP)) == 0 &&
         (settings.c_lflag & (ICANON | ECHO | ISIG)) == 0;
}

// Channels 100.. for `count` frames from `first`.
inline std::vector<int> Channels(int first, int count) {
  std::vector<int> channels(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) channels[static_cast<std::size_t>(i)] = 100 + (first + i) % 900;
  return channels;
}

}  // namespace pha::testing
