#include "platform/serial/line_watch.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

#include <algorithm>

#include "main_window/shell_word.h"
#include "platform/posix/system_reason.h"
#include "platform/serial/line_settings.h"

namespace pha {
namespace {

// The bytes the driver could not keep, where it counts them (a UART's
// overruns of its own FIFO and of the terminal layer's buffer).
std::optional<std::int64_t> DriverOverruns(int fd) {
  serial_icounter_struct counts{};
  if (ioctl(fd, TIOCGICOUNT, &counts) != 0) return std::nullopt;
  return std::int64_t{counts.overrun} + counts.buf_overrun;
}

}  // namespace

LineWatch::LineWatch(int report_every_ms, std::function<void(const std::string&)> report,
                     QObject* parent)
    : QObject(parent),
      report_(std::move(report)),
      openers_([this](int opens, int closes) { OthersOnTheLine(opens, closes); }, this),
      opened_report_(
          report_every_ms,
          [this](const RepeatedReport::Tally& tally) {
            report_(std::string(tally.earlier ? "Again, another" : "Another") +
                    " program opened the detector line on " + describe_ + " " + When(tally) +
                    ": the pulses it reads are lost to this program and not counted. Find it "
                    "with: fuser -v " +
                    ShellWord(device_) +
                    " and stop it (a modem manager: sudo systemctl stop ModemManager).");
          },
          this),
      settings_report_(
          report_every_ms,
          [this](const RepeatedReport::Tally& tally) {
            report_("The settings of the detector line on " + describe_ +
                    " were changed by another program, found " + When(tally) + " (" +
                    settings_found_ + "). They were set back to " +
                    (settings_ ? DescribeLineSettings(*settings_) : std::string("the detector's")) +
                    " and counting goes on; pulses that came while they were changed may be "
                    "lost or garbled.");
          },
          this),
      read_error_report_(
          report_every_ms,
          [this](const RepeatedReport::Tally& tally) {
            report_("Reading the detector line on " + describe_ + " failed " + When(tally) + ": " +
                    read_error_ +
                    ". The device is still there; the adapter or its cable may be failing. "
                    "Reading goes on.");
          },
          this) {}

void LineWatch::Start(int fd, const std::string& device, const std::string& describe) {
  fd_ = fd;
  device_ = device;
  describe_ = describe;
  // From just after the program's own open: one with root's rights can open
  // the line past its exclusive claim, and is seen from now on.
  openers_.Watch(device);
  settings_ = ReadLineSettings(fd);
  overruns_ = DriverOverruns(fd);
  holdup_loss_.Restart();
}

void LineWatch::Stop() {
  openers_.Stop();
  fd_ = -1;
}

void LineWatch::Check(std::int64_t now_ms, std::int64_t received) {
  if (fd_ < 0) return;
  CheckSettings();
  const std::optional<HoldUpLoss::Loss> holdup = holdup_loss_.Sample(now_ms, received);
  const std::optional<std::int64_t> overruns = DriverOverruns(fd_);
  const std::int64_t counted = overruns && overruns_ ? *overruns - *overruns_ : 0;
  overruns_ = overruns;
  if (counted <= 0 && !holdup) return;
  const auto local = [&](std::int64_t ms) {
    return LocalTime(QTime::currentTime().addMSecs(
        static_cast<int>(std::clamp<std::int64_t>(ms - now_ms, -86'400'000, 0))));
  };
  std::string text = "Pulses from the detector line on " + describe_ + " were lost";
  if (holdup) {
    text += " while the program was held up for " +
            FormatDuration(holdup->to_ms - holdup->from_ms) + " (" + local(holdup->from_ms) +
            " to " + local(holdup->to_ms) + "), longer than the system's buffer for the line holds";
  }
  const std::int64_t bytes = counted > 0 ? counted : holdup->bytes;
  text += ": about " + std::to_string((bytes + 1) / 2) + " of them";
  if (counted > 0)
    text += " (the serial driver counted " + std::to_string(counted) + " bytes it had no room for)";
  report_(text +
          ". The counts, the spectra and the rates of that time are low by as much; the "
          "measurement goes on.");
}

void LineWatch::ReadFailed(int error_number) {
  read_error_ = SystemReason(error_number);
  read_error_report_.Happened();
}

void LineWatch::OthersOnTheLine(int opens, int closes) {
  if (opens > 0) opened_report_.Happened(opens);
  // A program that opens the line may leave it at its own settings, as it
  // opens it or as it closes it.
  if (opens > 0 || closes > 0) CheckSettings();
}

void LineWatch::CheckSettings() {
  if (fd_ < 0 || !settings_) return;
  const std::optional<termios> now = ReadLineSettings(fd_);
  if (!now || SameLineSettings(*now, *settings_)) return;
  settings_found_ = DescribeLineSettings(*now);
  tcsetattr(fd_, TCSANOW, &*settings_);
  settings_report_.Happened();
}

}  // namespace pha
