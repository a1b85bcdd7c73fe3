// Serial port 1 on a real pseudo-terminal, through QSerialPort.
#include "platform/qt_serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <thread>

#include "acquisition/pulse_decoder.h"
#include "platform/qt_messages.h"
#include "platform/serial_devices.h"
#include "support/child_process.h"
#include "support/detector_line.h"
#include "support/fakes.h"
#include "support/qt_wait.h"

namespace pha {
namespace {

using namespace pha::testing;

// Which serial devices are present comes from what the kernel publishes in
// sysfs and /dev, here a scratch tree: none of them is opened, since an open
// raises a UART's modem lines, on which some equipment resets.
TEST(SerialDevices, ThePresentOnesAreFoundWithoutOpeningAny) {
  namespace fs = std::filesystem;
  const fs::path root = fs::temp_directory_path() / ("pha-devices-" + std::to_string(getpid()));
  fs::remove_all(root);
  const struct {
    std::string tty;
    const char* type;  // in sysfs, or nullptr: none
    bool driver;
    bool present;
  } rows[] = {{"ttyS0", "4", true, true},       {"ttyS1", "0", true, false},
              {"ttyS2", nullptr, true, true},   {"ttyS3", nullptr, false, false},
              {"ttyUSB0", nullptr, true, true}, {"ttyACM1", nullptr, true, true}};
  std::set<std::string> expected{(root / "dev/serial/by-id/usb-FTDI_A1").string()};
  fs::create_directories(root / "dev/serial/by-id");
  for (const auto& row : rows) {
    fs::create_directories(root / "sys/class/tty" / row.tty / (row.driver ? "device/driver" : ""));
    if (row.type != nullptr) std::ofstream(root / "sys/class/tty" / row.tty / "type") << row.type;
    std::ofstream(root / "dev" / row.tty);
    if (row.present) expected.insert((root / "dev" / row.tty).string());
  }
  fs::create_symlink("../../ttyUSB0", root / "dev/serial/by-id/usb-FTDI_A1");

  // An event of a file in the watched folder carries its name; the
  // folder's own, from listing it, does not.
  const int opens = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(inotify_add_watch(opens, (root / "dev").c_str(), IN_OPEN), 0);
  const std::vector<std::string> present = PresentSerialDevices(root.string());
  EXPECT_EQ(std::set<std::string>(present.begin(), present.end()), expected);
  alignas(inotify_event) char events[4096];
  const ssize_t got = read(opens, events, sizeof events);
  for (char* at = events; at < events + std::max<ssize_t>(got, 0);) {
    const auto* event = reinterpret_cast<const inotify_event*>(at);
    EXPECT_EQ(event->len, 0U) << event->name << " was opened";
    at += sizeof(inotify_event) + event->len;
  }
  close(opens);
  fs::remove_all(root);
}

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
    port.OnComm([this] { decoder.MSComm1_OnComm(); });
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
  std::vector<std::string> reports;
};

// As another program may have left the line: cooked, 9600 baud, 7E2, flow
// control.
void SpoilLine(int fd) {
  termios settings{};
  ASSERT_EQ(tcgetattr(fd, &settings), 0);
  cfsetspeed(&settings, B9600);
  settings.c_cflag = (settings.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB | CRTSCTS;
  settings.c_iflag |= IXON | IXOFF | ICRNL | INLCR | ISTRIP;
  settings.c_lflag |= ICANON | ECHO | ISIG;
  ASSERT_EQ(tcsetattr(fd, TCSANOW, &settings), 0);
}

// The detector's line: 19200 baud, 8N1, raw, no flow control.
void ExpectDetectorLine(int fd) {
  termios settings{};
  ASSERT_EQ(tcgetattr(fd, &settings), 0);
  EXPECT_EQ(cfgetispeed(&settings), B19200);
  EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(settings.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0U);
  EXPECT_EQ(settings.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), 0U);
  EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG), 0U);
}

TEST(QtSerialPort, OpensTheDeviceAt19200Baud8N1RawWithoutFlowControl) {
  PtyDetector pty;
  SpoilLine(pty.master_fd());
  QtSerialPort port({{1, pty.slave_path()}});
  SetUpPort(port);
  ExpectDetectorLine(pty.master_fd());
}

// Channels 100.. for `count` frames from `first`.
std::vector<int> Channels(int first, int count) {
  std::vector<int> channels(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) channels[static_cast<std::size_t>(i)] = 100 + (first + i) % 900;
  return channels;
}

// The detector behind a fixed name, as udev gives an adapter: plugged in, a
// new pty whose line another program has left spoiled; pulled out, the name
// goes first, then the line hangs up.
class Cable {
 public:
  explicit Cable(std::filesystem::path link) : link_(std::move(link)) {
    std::filesystem::remove_all(link_);
  }
  ~Cable() { Pull(); }
  PtyDetector& Plug() {
    detector_ = std::make_unique<PtyDetector>();
    SpoilLine(detector_->master_fd());
    std::filesystem::create_symlink(detector_->slave_path(), link_);
    return *detector_;
  }
  void Pull() {
    std::error_code ignored;
    std::filesystem::remove(link_, ignored);
    detector_.reset();
  }
  PtyDetector& Detector() { return *detector_; }

 private:
  std::filesystem::path link_;
  std::unique_ptr<PtyDetector> detector_;
};

TEST(QtSerialPort, ADetectorPluggedInAgainIsCountedOnAndLeavesNothingBehind) {
  namespace fs = std::filesystem;
  const fs::path link = fs::temp_directory_path() / ("pha-replug-" + std::to_string(getpid()));
  Cable cable(link);
  cable.Plug();
  // Without the notifier's rest, so that chunks are read as they come.
  DecoderOnPty line(link.string(), 1, 0);
  QWidget window;
  QtMessages messages(&window);
  line.port.OnLineReport([&](const std::string& message) {
    line.reports.push_back(message);
    messages.ShowError(message);
  });
  Spectrum expected = line.state.SpcSmp;
  const auto send = [&](const std::vector<int>& channels) {
    Send(cable.Detector(), channels);
    for (const int channel : channels) ++expected[channel];
  };

  // In odd-sized chunks, the bytes a cooked line would mangle first (CR, LF,
  // XON/XOFF, ^C): whole frames all the same.
  std::vector<int> first = {10, 13, 17, 19, 0x303, 0x10A, 0x20D, 0x311, 1023};
  for (const int channel : Channels(0, 291)) first.push_back(channel);
  const std::vector<std::uint8_t> bytes = Frames(first);
  for (std::size_t at = 0, size = 1; at < bytes.size(); at += size, size = size % 9 + 2) {
    SendBytes(cable.Detector(),
              {bytes.begin() + long(at), bytes.begin() + long(std::min(at + size, bytes.size()))});
    testing::HandleEventsFor(2);
  }
  for (const int channel : first) ++expected[channel];
  ASSERT_TRUE(line.Counted(300));
  EXPECT_EQ(line.state.SpcSmp, expected);
  cable.Pull();
  ASSERT_TRUE(WaitFor([&] { return line.reports.size() == 1 && !line.port.IsOpen(); }));
  // Something that is no serial device turns up under the name: told once,
  // then looked at again quietly.
  fs::create_directory(link);
  testing::HandleEventsFor(100);
  EXPECT_EQ(line.reports.size(), 2U);
  EXPECT_FALSE(line.port.IsOpen());
  fs::remove(link);
  // The detector is back under the same name, on a spoiled line.
  cable.Plug();
  ASSERT_TRUE(WaitFor([&] { return line.port.IsOpen(); }));
  ExpectDetectorLine(cable.Detector().master_fd());
  send(Channels(300, 200));
  ASSERT_TRUE(line.Counted(500));
  testing::HandleEventsFor(50);
  EXPECT_EQ(line.state.CntTot, 500);
  EXPECT_EQ(line.state.SpcSmp, expected);
  ASSERT_EQ(line.reports.size(), 3U);
  for (const std::string& report : line.reports)
    EXPECT_NE(report.find(link.string()), std::string::npos) << report;

  // A day of a flapping cable: nothing piles up, and one window tells it
  // all, the newest on top and the last 200 below.
  int descriptors = 0;
  qsizetype timers = 0;
  for (int cycle = 0; cycle < 1000; ++cycle) {
    if (cycle == 100) {  // once everything has been made that is made once
      descriptors = OpenDescriptors();
      timers = line.port.findChildren<QTimer*>().size();
    }
    cable.Pull();
    ASSERT_TRUE(WaitFor([&] { return !line.port.IsOpen(); })) << cycle;
    cable.Plug();
    ASSERT_TRUE(WaitFor([&] { return line.port.IsOpen(); })) << cycle;
  }
  testing::HandleEventsFor(20);
  EXPECT_EQ(OpenDescriptors(), descriptors);
  EXPECT_EQ(line.port.findChildren<QTimer*>().size(), timers);
  int windows = 0;
  for (QWidget* widget : QApplication::topLevelWidgets()) windows += widget->isVisible() ? 1 : 0;
  EXPECT_EQ(windows, 1);
  EXPECT_EQ(window.findChildren<QDialog*>().size(), 1);
  ASSERT_NE(messages.Window(), nullptr);
  EXPECT_TRUE(messages.Newest()->text().contains(QString::fromStdString(line.reports.back())));
  const QStringList earlier = messages.Earlier()->toPlainText().split('\n');
  EXPECT_EQ(earlier.size(), 200);
  EXPECT_TRUE(earlier.back().contains(QStringLiteral("1803"))) << earlier.back().toStdString();
}

// The line is this program's alone: another program without root's rights
// cannot open it. One with them can, and takes bytes: that is no pulled
// cable, and the program reads on.
TEST(QtSerialPort, AnotherReaderOnTheLineIsRefusedOrToldApartFromAPulledCable) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to open the line as another account";
  DecoderOnPty line({}, /*reopen_ms=*/60'000);
  line.port.OnLineReport([&](const std::string& message) { line.reports.push_back(message); });
  ASSERT_EQ(chmod(line.pty.slave_path().c_str(), 0666), 0);
  const std::string other = testing::InChild([&] {
    if (setuid(65534) != 0) return std::string("still root");
    const int fd = open(line.pty.slave_path().c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY);
    return fd >= 0 ? std::string("opened") : std::string(std::strerror(errno));
  });
  EXPECT_EQ(other, std::strerror(EBUSY));

  const int thief = open(line.pty.slave_path().c_str(), O_RDONLY | O_NOCTTY);
  ASSERT_GE(thief, 0);
  std::atomic<bool> stop = false;
  std::thread reader([&] {
    char bytes[64];
    while (!stop && read(thief, bytes, sizeof bytes) >= 0) {
    }
  });
  for (int i = 0; i < 300; ++i) {
    Send(line.pty, {100 + i});
    testing::HandleEventsFor(1);
  }
  stop = true;
  Send(line.pty, {10});  // wakes the reader up
  reader.join();
  close(thief);
  EXPECT_TRUE(line.port.IsOpen());
  EXPECT_LE(line.reports.size(), 1U);
  for (const std::string& report : line.reports)
    EXPECT_NE(report.find(line.pty.slave_path()), std::string::npos) << report;
  // Alone on the line again, it counts on (the first frames may go to
  // realigning the stream).
  const std::int64_t before = line.state.CntTot;
  Send(line.pty, Channels(0, 100));
  EXPECT_TRUE(line.Counted(before + 97));
}

}  // namespace
}  // namespace pha
