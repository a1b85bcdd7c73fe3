// Serial port 1 on a real pseudo-terminal, through QSerialPort.
#include "platform/qt_serial_port.h"

#include <gtest/gtest.h>
#include <termios.h>

#include <QCoreApplication>

#include "acquisition/pulse_decoder.h"
#include "support/fakes.h"
#include "support/pty_pair.h"
#include "support/qt_wait.h"

namespace pha {
namespace {

using testing::FakeWindow;
using testing::Frames;
using testing::PtyPair;
using testing::WaitFor;

// The decoder on a real port, with a measurement running so that every
// accepted channel shows in the sample spectrum.
struct DecoderOnPty {
  PtyPair pty;
  QtSerialPort port{{{1, pty.SlavePath()}}};
  FakeWindow title;
  MeasurementState state;
  PulseDecoder decoder{port, title, state};
  int depth = 0;
  int deepest = 0;
  std::function<void()> inside_handler;

  DecoderOnPty() {
    state.SpcSmp.fill(1);
    state.SpcSmt.fill(1);
    state.FlgRun = Flag::True;
    port.OnComm([this] {
      deepest = std::max(deepest, ++depth);
      decoder.MSComm1_OnComm();
      if (inside_handler) inside_handler();
      --depth;
    });
    SetUpPort(port);
  }
  bool Counted(std::int64_t frames) {
    return WaitFor([&] { return state.CntTot >= frames; });
  }
};

TEST(QtSerialPort, OpensTheDeviceAt19200Baud8N1RawWithoutFlowControl) {
  DecoderOnPty line;
  termios settings{};
  ASSERT_EQ(tcgetattr(line.pty.Master(), &settings), 0);
  EXPECT_EQ(cfgetispeed(&settings), B19200);
  EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(settings.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0U);
  EXPECT_EQ(settings.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), 0U);
  EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG), 0U);
}

TEST(QtSerialPort, BytesInOddSizedChunksStillGiveWholeFrames) {
  DecoderOnPty line;
  // First the bytes a cooked line would mangle: CR, LF, XON/XOFF, ^C.
  std::vector<int> channels = {10, 13, 17, 19, 0x303, 0x10A, 0x20D, 0x311, 1023};
  while (channels.size() < 300) channels.push_back(10 + (channels.size() * 37) % 1014);
  const std::vector<std::uint8_t> bytes = Frames(channels);
  const std::size_t kChunks[] = {1, 3, 5, 7, 2, 1, 1, 9};
  std::size_t at = 0;
  for (std::size_t i = 0; at < bytes.size(); ++i) {
    const std::size_t size = std::min(kChunks[i % std::size(kChunks)], bytes.size() - at);
    line.pty.Write(
        {bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + size)});
    at += size;
    // Let each chunk arrive on its own, so that notifications see odd counts.
    const qint64 before = static_cast<qint64>(at);
    WaitFor([&] { return line.state.CntTot * 2 + line.port.InBufferCount() >= before; }, 2000);
  }
  ASSERT_TRUE(line.Counted(300));
  EXPECT_EQ(line.state.CntTot, 300);
  Spectrum expected{};
  expected.fill(1);
  for (const int channel : channels) ++expected[channel];
  EXPECT_EQ(line.state.SpcSmp, expected);
  EXPECT_EQ(line.decoder.FlgSkp(), Flag::False);
}

TEST(QtSerialPort, NoNotificationArrivesWhileAHandlerRuns) {
  DecoderOnPty line;
  int nested_loops = 0;
  // A handler that lets the event loop run inside it, as a modal dialog
  // would, while more frames arrive.
  line.inside_handler = [&] {
    if (nested_loops++ < 20) {
      line.pty.Write(Frames({100, 200}));
      testing::HandleEventsFor(5);
    }
  };
  line.pty.Write(Frames({300}));
  ASSERT_TRUE(line.Counted(41));
  EXPECT_EQ(line.deepest, 1);
}

TEST(QtSerialPort, FramesComingOneByOneArriveInFewerNotifications) {
  DecoderOnPty line;
  int notifications = 0;
  line.inside_handler = [&] { ++notifications; };
  // One frame each millisecond or so, the way a UART without a FIFO hands
  // them on; the read notifier rests between notifications.
  for (int i = 0; i < 100; ++i) {
    line.pty.Write(Frames({100 + i}));
    testing::HandleEventsFor(1);
  }
  ASSERT_TRUE(line.Counted(100));
  for (int i = 0; i < 100; ++i) EXPECT_EQ(line.state.SpcSmp[100 + i], 2) << i;
  EXPECT_LT(notifications, 100);
}

TEST(QtSerialPort, AHungUpLineIsReportedOnceAndThePortClosed) {
  DecoderOnPty line;
  std::vector<std::string> failures;
  line.port.OnFailure([&](const std::string& message) { failures.push_back(message); });
  line.pty.Write(Frames({500, 600}));
  ASSERT_TRUE(line.Counted(2));

  line.pty.CloseSlave();
  line.pty.CloseMaster();
  ASSERT_TRUE(WaitFor([&] { return !failures.empty(); }));
  ASSERT_TRUE(WaitFor([&] { return !line.port.IsOpen(); }));
  testing::HandleEventsFor(300);
  ASSERT_EQ(failures.size(), 1U);
  EXPECT_NE(failures[0].find(line.pty.SlavePath()), std::string::npos) << failures[0];
  EXPECT_NE(failures[0].find("can be saved"), std::string::npos) << failures[0];
  EXPECT_EQ(line.state.CntTot, 2);
}

TEST(QtSerialPort, OpenFailuresNameTheDeviceAndTheReason) {
  struct Case {
    std::string device;
    std::string reason;
  };
  const Case cases[] = {
      {"/nonexistent/ttyPHA", "No such file or directory"},
      {"/tmp", "): "},  // a folder is no serial port; the reason is the system's
      {"/dev/null", "): "},
  };
  for (const Case& c : cases) {
    QtSerialPort port({{1, c.device}});
    try {
      SetUpPort(port);
      ADD_FAILURE() << c.device << " opened";
    } catch (const PlatformError& error) {
      const std::string message = error.what();
      EXPECT_NE(message.find("serial port 1 (" + c.device + ")"), std::string::npos) << message;
      EXPECT_NE(message.find(c.reason), std::string::npos) << message;
      // Something follows "(device): ": the system's reason.
      const std::size_t reason = message.find("): ");
      ASSERT_NE(reason, std::string::npos) << message;
      EXPECT_GT(message.size(), reason + 6) << message;
    }
    EXPECT_FALSE(port.IsOpen());
  }
}

TEST(QtSerialPort, RejectsLineSettingsItCannotHonour) {
  QtSerialPort port({{1, "/dev/null"}});
  EXPECT_THROW(port.SetCommPort(2), PlatformError);
  port.SetCommPort(1);
  for (const char* settings : {"19200,X,8,1", "19200,N,9,1", "fast,N,8,1", "19200,N,8", ""})
    EXPECT_THROW(port.SetSettings(settings), PlatformError) << settings;
  EXPECT_NO_THROW(port.SetSettings("19200,N,8,1"));
}

}  // namespace
}  // namespace pha
