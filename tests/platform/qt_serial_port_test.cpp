// Serial port 1 on a real pseudo-terminal, through QSerialPort.
#include "platform/qt_serial_port.h"

#include <gtest/gtest.h>
#include <termios.h>

#include <QApplication>
#include <QMessageBox>
#include <filesystem>
#include <memory>

#include "acquisition/pulse_decoder.h"
#include "platform/qt_controls.h"
#include "support/detector_line.h"
#include "support/fakes.h"
#include "support/qt_wait.h"

namespace pha {
namespace {

using namespace pha::testing;

// The decoder on a real port, with a measurement running so that every
// accepted channel shows in the sample spectrum. The port opens `device`,
// the test's pty unless a test names another path.
struct DecoderOnPty {
  explicit DecoderOnPty(std::string device = {}, int reopen_ms = QtSerialPort::kReopenIntervalMs,
                        int rest_ms = QtSerialPort::kReadRestMs)
      : port{{{1, device.empty() ? pty.slave_path() : device}}, nullptr, reopen_ms, rest_ms} {
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

  PtyDetector pty;
  QtSerialPort port;
  FakeWindow title;
  MeasurementState state;
  PulseDecoder decoder{port, title, state};
  int depth = 0;
  int deepest = 0;
  std::function<void()> inside_handler;
  std::vector<std::string> reports;
};

TEST(QtSerialPort, OpensTheDeviceAt19200Baud8N1RawWithoutFlowControl) {
  PtyDetector pty;
  // As another program may have left the line: cooked, 9600 baud, 7E2, flow
  // control.
  termios settings{};
  ASSERT_EQ(tcgetattr(pty.master_fd(), &settings), 0);
  cfsetspeed(&settings, B9600);
  settings.c_cflag = (settings.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB | CRTSCTS;
  settings.c_iflag |= IXON | IXOFF | ICRNL | INLCR | ISTRIP;
  settings.c_lflag |= ICANON | ECHO | ISIG;
  ASSERT_EQ(tcsetattr(pty.master_fd(), TCSANOW, &settings), 0);
  QtSerialPort port({{1, pty.slave_path()}});
  SetUpPort(port);
  ASSERT_EQ(tcgetattr(pty.master_fd(), &settings), 0);
  EXPECT_EQ(cfgetispeed(&settings), B19200);
  EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(settings.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0U);
  EXPECT_EQ(settings.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), 0U);
  EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG), 0U);
}

TEST(QtSerialPort, BytesInOddSizedChunksStillGiveWholeFrames) {
  // Without the notifier's rest, so that each chunk is read on its own.
  DecoderOnPty line({}, QtSerialPort::kReopenIntervalMs, 0);
  // First the bytes a cooked line would mangle: CR, LF, XON/XOFF, ^C.
  std::vector<int> channels = {10, 13, 17, 19, 0x303, 0x10A, 0x20D, 0x311, 1023};
  while (channels.size() < 300) channels.push_back(10 + (channels.size() * 37) % 1014);
  const std::vector<std::uint8_t> bytes = Frames(channels);
  const std::size_t kChunks[] = {1, 3, 5, 7, 2, 1, 1, 9};
  for (std::size_t i = 0, at = 0; at < bytes.size(); ++i) {
    const std::size_t size = std::min(kChunks[i % std::size(kChunks)], bytes.size() - at);
    testing::SendBytes(line.pty, {bytes.begin() + long(at), bytes.begin() + long(at + size)});
    at += size;
    testing::HandleEventsFor(2);  // so that each chunk is read on its own
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
      Send(line.pty, {100, 200});
      testing::HandleEventsFor(5);
    }
  };
  Send(line.pty, {300});
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
    Send(line.pty, {100 + i});
    testing::HandleEventsFor(1);
  }
  ASSERT_TRUE(line.Counted(100));
  for (int i = 0; i < 100; ++i) EXPECT_EQ(line.state.SpcSmp[100 + i], 2) << i;
  EXPECT_LT(notifications, 100);
}

// Channels 100.. for `count` frames from `first`.
std::vector<int> Channels(int first, int count) {
  std::vector<int> channels(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) channels[static_cast<std::size_t>(i)] = 100 + (first + i) % 900;
  return channels;
}

int OpenDescriptors() {
  const std::filesystem::directory_iterator entries("/proc/self/fd");
  return static_cast<int>(std::distance(begin(entries), end(entries)));
}

TEST(QtSerialPort, ADetectorPluggedInAgainIsCountedOnAndLeavesNothingBehind) {
  namespace fs = std::filesystem;
  const fs::path link = fs::temp_directory_path() / ("pha-replug-" + std::to_string(getpid()));
  fs::remove_all(link);
  auto detector = std::make_unique<PtyDetector>(link);
  DecoderOnPty line(link.string(), 5);
  QWidget window;
  QtMessages messages(&window);
  line.port.OnLineReport([&](const std::string& message) {
    line.reports.push_back(message);
    messages.ShowError(message);
  });
  Spectrum expected = line.state.SpcSmp;
  const auto send = [&](const std::vector<int>& channels) {
    Send(*detector, channels);
    for (const int channel : channels) ++expected[channel];
  };

  send(Channels(0, 300));
  ASSERT_TRUE(line.Counted(300));
  detector.reset();  // pulled out: the device's name goes, the line hangs up
  ASSERT_TRUE(WaitFor([&] { return line.reports.size() == 1 && !line.port.IsOpen(); }));
  // Something that is no serial device turns up under the name: told once,
  // then looked at again quietly.
  fs::create_directory(link);
  testing::HandleEventsFor(200);
  EXPECT_EQ(line.reports.size(), 2U);
  EXPECT_FALSE(line.port.IsOpen());
  fs::remove(link);
  // The detector is back under the same name.
  detector = std::make_unique<PtyDetector>(link);
  ASSERT_TRUE(WaitFor([&] { return line.port.IsOpen(); }));
  send(Channels(300, 200));
  ASSERT_TRUE(line.Counted(500));
  testing::HandleEventsFor(50);
  EXPECT_EQ(line.state.CntTot, 500);
  EXPECT_EQ(line.state.SpcSmp, expected);
  ASSERT_EQ(line.reports.size(), 3U);
  for (const std::string& report : line.reports)
    EXPECT_NE(report.find(link.string()), std::string::npos) << report;

  // A hundred times more: nothing piles up, and one window tells it all.
  const int descriptors = OpenDescriptors();
  const qsizetype timers = line.port.findChildren<QTimer*>().size();
  for (int cycle = 0; cycle < 100; ++cycle) {
    detector.reset();
    ASSERT_TRUE(WaitFor([&] { return !line.port.IsOpen(); })) << cycle;
    detector = std::make_unique<PtyDetector>(link);
    ASSERT_TRUE(WaitFor([&] { return line.port.IsOpen(); })) << cycle;
  }
  EXPECT_EQ(OpenDescriptors(), descriptors);
  EXPECT_EQ(line.port.findChildren<QTimer*>().size(), timers);
  int boxes = 0;
  for (QWidget* widget : QApplication::topLevelWidgets())
    boxes += qobject_cast<QMessageBox*>(widget) != nullptr && widget->isVisible() ? 1 : 0;
  EXPECT_EQ(boxes, 1);
  EXPECT_TRUE(messages.Window()->text().contains(QStringLiteral("203")))
      << messages.Window()->text().toStdString();
}

}  // namespace
}  // namespace pha
