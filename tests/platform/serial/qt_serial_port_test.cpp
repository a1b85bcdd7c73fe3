// Serial port 1 on a real pseudo-terminal, through QSerialPort: the line's
// settings over a spoiled line after a re-plug, frames in odd chunks, and a
// thousand cable pulls.
#include "platform/serial/qt_serial_port.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <filesystem>
#include <memory>

#include "platform/window/qt_messages.h"
#include "support/child_process.h"
#include "support/decoder_on_pty.h"

namespace pha {
namespace {

using namespace pha::testing;

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
  DecoderOnPty line(link.string(), {.reopen_interval_ms = 1, .read_rest_ms = 0});
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

  send(Channels(0, 300));
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
  EXPECT_TRUE(IsDetectorLine(cable.Detector().master_fd()));
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

}  // namespace
}  // namespace pha
