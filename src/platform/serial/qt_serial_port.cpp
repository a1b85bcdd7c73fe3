#include "platform/serial/qt_serial_port.h"

#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <limits>
#include <vector>

#include "main_window/shell_word.h"
#include "measurement/display_formats.h"
#include "platform/posix/system_reason.h"
#include "platform/serial/line_settings.h"
#include "platform/serial/open_diagnosis.h"

namespace pha {
namespace {

std::vector<std::string_view> SplitCommas(std::string_view text) {
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    const std::size_t comma = text.find(',', start);
    parts.push_back(text.substr(start, comma - start));
    if (comma == std::string_view::npos) return parts;
    start = comma + 1;
  }
}

int ParseInt(std::string_view text) {
  int value = -1;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return -1;
  return value;
}

std::string LocalTime(const QTime& time) {
  return time.toString(QStringLiteral("HH:mm:ss")).toStdString();
}

// "at 10:01:02", or "3 times between 10:01:02 and 10:01:59".
std::string When(const RepeatedReport::Tally& tally) {
  if (tally.times == 1) return "at " + LocalTime(tally.first);
  return std::to_string(tally.times) + " times between " + LocalTime(tally.first) + " and " +
         LocalTime(tally.last);
}

// The bytes the driver could not keep, where it counts them (a UART's
// overruns of its own FIFO and of the terminal layer's buffer).
std::optional<std::int64_t> DriverOverruns(int fd) {
  serial_icounter_struct counts{};
  if (ioctl(fd, TIOCGICOUNT, &counts) != 0) return std::nullopt;
  return std::int64_t{counts.overrun} + counts.buf_overrun;
}

}  // namespace

RepeatedReport::RepeatedReport(int interval_ms, std::function<void(const Tally&)> tell,
                               QObject* parent)
    : QObject(parent), tell_(std::move(tell)) {
  next_.setSingleShot(true);
  next_.setInterval(interval_ms);
  connect(&next_, &QTimer::timeout, this, &RepeatedReport::TellPending);
}

void RepeatedReport::Happened(int times) {
  const QTime now = QTime::currentTime();
  if (pending_.times == 0) pending_.first = now;
  pending_.last = now;
  pending_.times += times;
  if (!next_.isActive()) TellPending();
}

void RepeatedReport::TellPending() {
  if (pending_.times == 0) return;  // nothing since: the next one is told at once
  pending_.earlier = told_;
  const Tally tally = pending_;
  pending_ = {};
  told_ = true;
  next_.start();
  tell_(tally);
}

// QSerialPort takes every byte the system receives into a buffer without a
// size limit, so a user-interface thread held up for a while (a slow disk
// during a save, say) loses no pulse that the system kept meanwhile: the
// backlog is decoded when it returns.
QtSerialPort::QtSerialPort(std::map<int, std::string> devices, QObject* parent,
                           SerialPortTiming timing)
    : QObject(parent),
      devices_(std::move(devices)),
      timing_(timing),
      openers_([this](int opens, int closes) { OthersOnTheLine(opens, closes); }, this),
      opened_report_(
          timing.report_every_ms,
          [this](const RepeatedReport::Tally& tally) {
            Report(std::string(tally.earlier ? "Again, another" : "Another") +
                   " program opened the detector line on " + Describe() + " " + When(tally) +
                   ": the pulses it reads are lost to this program and not counted. Find it "
                   "with: fuser -v " +
                   ShellWord(device_) +
                   " and stop it (a modem manager: sudo systemctl stop ModemManager).");
          },
          this),
      settings_report_(
          timing.report_every_ms,
          [this](const RepeatedReport::Tally& tally) {
            Report("The settings of the detector line on " + Describe() +
                   " were changed by another program, found " + When(tally) + " (" +
                   settings_found_ + "). They were set back to " +
                   (settings_ ? DescribeLineSettings(*settings_) : std::string("the detector's")) +
                   " and counting goes on; pulses that came while they were changed may be lost "
                   "or garbled.");
          },
          this),
      read_error_report_(
          timing.report_every_ms,
          [this](const RepeatedReport::Tally& tally) {
            Report("Reading the detector line on " + Describe() + " failed " + When(tally) +
                   ": " + read_error_ +
                   ". The device is still there; the adapter or its cable may be failing. "
                   "Reading goes on.");
          },
          this) {
  port_.setFlowControl(QSerialPort::NoFlowControl);
  connect(&port_, &QSerialPort::readyRead, this, &QtSerialPort::HandleReadyRead);
  connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPort::HandleError);
  reopen_.setInterval(timing_.reopen_interval_ms);
  connect(&reopen_, &QTimer::timeout, this, &QtSerialPort::TryReopen);
  // One timer for every rest: a single-shot timer of its own each time would
  // cost an object, and an event to delete it, per notification.
  rest_.setSingleShot(true);
  rest_.setInterval(timing_.read_rest_ms);
  connect(&rest_, &QTimer::timeout, this, [this] {
    if (read_notifier_ != nullptr) read_notifier_->setEnabled(true);
  });
  check_.setInterval(timing_.check_interval_ms);
  connect(&check_, &QTimer::timeout, this, &QtSerialPort::CheckLine);
}

QtSerialPort::~QtSerialPort() {
  openers_.Stop();
  port_.close();
}

std::string QtSerialPort::Describe() const {
  return "serial port " + std::to_string(number_) + " (" + device_ + ")";
}

std::int64_t QtSerialPort::NowMs() const {
  return (timing_.clock != nullptr ? *timing_.clock : steady_clock_).NowMs();
}

void QtSerialPort::SetCommPort(int number) {
  const auto device = devices_.find(number);
  if (device == devices_.end())
    throw PlatformError("There is no serial port " + std::to_string(number) + ".");
  number_ = number;
  device_ = device->second;
  port_.setPortName(QString::fromStdString(device_));
}

// "baud,parity,data bits,stop bits", for example "19200,N,8,1".
void QtSerialPort::SetSettings(std::string_view settings) {
  const auto fail = [&] {
    throw PlatformError("Invalid line settings \"" + std::string(settings) + "\" for " +
                        Describe() + ".");
  };
  const std::vector<std::string_view> parts = SplitCommas(settings);
  if (parts.size() != 4 || parts[1].size() != 1) fail();

  const int baud = ParseInt(parts[0]);
  static const std::map<char, QSerialPort::Parity> kParities = {{'N', QSerialPort::NoParity},
                                                                {'E', QSerialPort::EvenParity},
                                                                {'O', QSerialPort::OddParity},
                                                                {'M', QSerialPort::MarkParity},
                                                                {'S', QSerialPort::SpaceParity}};
  const auto parity = kParities.find(static_cast<char>(std::toupper(parts[1][0])));
  const int data_bits = ParseInt(parts[2]);
  const std::string_view stop = parts[3];
  if (baud <= 0 || parity == kParities.end() || data_bits < 5 || data_bits > 8) fail();
  if (stop != "1" && stop != "1.5" && stop != "2") fail();

  if (!port_.setBaudRate(baud) || !port_.setParity(parity->second) ||
      !port_.setDataBits(static_cast<QSerialPort::DataBits>(data_bits)) ||
      !port_.setStopBits(stop == "1"   ? QSerialPort::OneStop
                         : stop == "2" ? QSerialPort::TwoStop
                                       : QSerialPort::OneAndHalfStop))
    fail();
}

void QtSerialPort::Open() {
  if (device_.empty()) throw PlatformError("No serial port chosen before opening.");
  // A lock file of another program that runs keeps this one off the line,
  // whatever QSerialPort would make of it.
  std::optional<SerialOpenDiagnosis> diagnosis = HeldByLockFile(device_);
  if (!diagnosis && OpenDevice()) return;
  // Qt's own words are vaguer than the system's ("Permission error while
  // locking the device"); a look at the device, and at its lock file, tells
  // which remedy fits.
  if (!diagnosis) diagnosis = DiagnoseSerialOpen(device_);
  if (diagnosis->problem == SerialOpenProblem::kOther && diagnosis->reason.empty())
    diagnosis = DiagnoseSerialLock(device_);
  if (diagnosis->problem == SerialOpenProblem::kOther && diagnosis->reason.empty())
    diagnosis->reason = port_.errorString().toStdString();
  std::string message = "Cannot open " + Describe() + ": " + diagnosis->reason + ".";
  const std::string remedy = SerialOpenRemedy(diagnosis->problem, device_);
  if (!remedy.empty()) message += "\n\n" + remedy;
  throw PlatformError(message);
}

// The detector line is receive-only. The settings stay with QSerialPort, so
// that a reopening applies the very ones of the start-up.
bool QtSerialPort::OpenDevice() {
  if (!port_.open(QIODevice::ReadOnly)) return false;
  // QSerialPort claims the line for this program alone (TIOCEXCL): no other
  // program without root's rights can open it and take pulses away. One with
  // them is seen opening it from now on.
  openers_.Watch(device_);
  lock_file_.Find(device_);
  // Found once: the notifier lives as long as the port stays open.
  read_notifier_ = nullptr;
  for (QSocketNotifier* notifier : port_.findChildren<QSocketNotifier*>()) {
    if (notifier->type() == QSocketNotifier::Read) read_notifier_ = notifier;
  }
  settings_ = ReadLineSettings(port_.handle());
  overruns_ = DriverOverruns(port_.handle());
  holdup_loss_.Restart();
  unhanded_ = 0;
  check_.start();
  return true;
}

void QtSerialPort::CloseDevice() {
  check_.stop();
  openers_.Stop();
  lock_file_.Forget();
  port_.close();
}

int QtSerialPort::InBufferCount() const {
  return static_cast<int>(
      std::min<qint64>(port_.bytesAvailable(), std::numeric_limits<int>::max()));
}

void QtSerialPort::Input(std::span<std::uint8_t> out) {
  const auto wanted = static_cast<qint64>(
      std::min<std::size_t>(out.size(), static_cast<std::size_t>(std::max(input_len_, 0))));
  const qint64 got = port_.read(reinterpret_cast<char*>(out.data()), wanted);
  // Only called with the bytes waiting; should a read still come short, the
  // rest reads as 0xFF, which puts any frame above 65280: rejected.
  std::fill(out.begin() + std::max<qint64>(got, 0), out.begin() + wanted, 0xFF);
}

void QtSerialPort::HandleReadyRead() {
  if (!port_.isOpen()) return;
  const qint64 arrived = port_.bytesAvailable();
  received_ += std::max<qint64>(arrived - unhanded_, 0);
  unhanded_ = arrived;
  if (shut_down_ || !on_comm_ || arrived < threshold_) return;
  if (in_handler_) {
    // Never inside a running handler: look again once it has returned.
    QTimer::singleShot(0, this, &QtSerialPort::HandleReadyRead);
    return;
  }
  in_handler_ = true;
  event_ = kEvReceive;
  on_comm_();
  event_ = 0;
  in_handler_ = false;
  if (!port_.isOpen()) return;
  unhanded_ = port_.bytesAvailable();
  // Data that came in while the handler ran (through a nested event loop)
  // raises no readyRead of its own.
  if (unhanded_ >= threshold_) {
    QTimer::singleShot(0, this, &QtSerialPort::HandleReadyRead);
    return;
  }
  // A trickle rests the notifier; a backlog is read on at full speed.
  if (arrived < kRestBelowBytes) RestReadNotifier();
}

// A detector line delivering frame by frame wakes the event loop up to 960
// times a second, and the wake-ups, not the decoding, cost most of the
// program's time. After each notification QSerialPort's read notifier rests
// for 100 ms: the bytes of that time wait in the system's buffer (192 of them
// at the line's full rate, in a buffer of thousands) and arrive together. A
// backlog (after the thread was held up) is read on at full speed. Should
// QSerialPort one day keep no such notifier, nothing rests and every byte
// still arrives.
void QtSerialPort::RestReadNotifier() {
  if (read_notifier_ == nullptr || rest_.isActive()) return;
  read_notifier_->setEnabled(false);
  rest_.start();
}

void QtSerialPort::DeliverWaiting() {
  if (shut_down_ || lost_ || !port_.isOpen()) return;
  // A read takes at most what the terminal layer's buffer holds, some 4 KiB
  // (two seconds of the line); after a longer hold-up the rest follows as
  // soon as the read has made room. So a full read is followed by another,
  // after a moment's wait, until one comes short.
  for (int chunk = 0; chunk < kMostDeliveredChunks; ++chunk) {
    pollfd line{port_.handle(), POLLIN, 0};
    if (poll(&line, 1, chunk == 0 ? 0 : kRefillWaitMs) != 1 || (line.revents & POLLIN) == 0) break;
    const std::int64_t before = received_;
    port_.waitForReadyRead(0);
    if (!port_.isOpen() || received_ - before < kFullReadBytes) break;
  }
  if (port_.isOpen() && port_.bytesAvailable() >= threshold_) HandleReadyRead();
}

void QtSerialPort::CheckLine() {
  if (shut_down_ || lost_ || !port_.isOpen()) return;
  DeliverWaiting();
  if (lost_ || !port_.isOpen()) return;
  CheckSettings();
  CheckLoss();
}

void QtSerialPort::CheckSettings() {
  if (!settings_) return;
  const std::optional<termios> now = ReadLineSettings(port_.handle());
  if (!now || SameLineSettings(*now, *settings_)) return;
  settings_found_ = DescribeLineSettings(*now);
  tcsetattr(port_.handle(), TCSANOW, &*settings_);
  settings_report_.Happened();
}

void QtSerialPort::CheckLoss() {
  const std::int64_t now_ms = NowMs();
  const std::optional<HoldUpLoss::Loss> holdup = holdup_loss_.Sample(now_ms, received_);
  const std::optional<std::int64_t> overruns = DriverOverruns(port_.handle());
  const std::int64_t counted = overruns && overruns_ ? *overruns - *overruns_ : 0;
  overruns_ = overruns;
  if (counted <= 0 && !holdup) return;
  const auto local = [&](std::int64_t ms) {
    return LocalTime(QTime::currentTime().addMSecs(static_cast<int>(
        std::clamp<std::int64_t>(ms - now_ms, -86'400'000, 0))));
  };
  std::string text = "Pulses from the detector line on " + Describe() + " were lost";
  if (holdup) {
    text += " while the program was held up for " + FormatDuration(holdup->to_ms - holdup->from_ms) +
            " (" + local(holdup->from_ms) + " to " + local(holdup->to_ms) +
            "), longer than the system's buffer for the line holds";
  }
  const std::int64_t bytes = counted > 0 ? counted : holdup->bytes;
  text += ": about " + std::to_string((bytes + 1) / 2) + " of them";
  if (counted > 0)
    text += " (the serial driver counted " + std::to_string(counted) + " bytes it had no room for)";
  Report(text +
         ". The counts, the spectra and the rates of that time are low by as much; the "
         "measurement goes on.");
}

bool QtSerialPort::LineIsGone() const {
  const int fd = port_.handle();
  pollfd line{fd, POLLIN, 0};
  if (poll(&line, 1, 0) < 0 || (line.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return true;
  struct stat opened {};
  struct stat named {};
  if (fstat(fd, &opened) != 0 || stat(device_.c_str(), &named) != 0) return true;
  return opened.st_rdev != named.st_rdev;
}

void QtSerialPort::OthersOnTheLine(int opens, int closes) {
  if (opens > 0) opened_report_.Happened(opens);
  // A program that opens the line may leave it at its own settings, as it
  // opens it or as it closes it.
  if ((opens > 0 || closes > 0) && port_.isOpen() && !lost_) CheckSettings();
}

void QtSerialPort::HandleError(QSerialPort::SerialPortError error) {
  if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError || lost_ || shut_down_ ||
      !port_.isOpen())
    return;
  // A failed read on a device that is still there and has not hung up: the
  // line is not lost, and reading goes on.
  if ((error == QSerialPort::ReadError || error == QSerialPort::ResourceError) && !LineIsGone()) {
    port_.clearError();
    // QSerialPort stops reading after a resource error; a rest starts it again.
    RestReadNotifier();
    // A read that found nothing where the system said bytes were waiting
    // (another program took them; the watch on the device tells that) is no
    // failure: QSerialPort's words for it are left over from an earlier call.
    // A device that is failing fails the next call too, with its own reason.
    int waiting = 0;
    if (ioctl(port_.handle(), FIONREAD, &waiting) == 0) return;
    read_error_ = SystemReason(errno);
    read_error_report_.Happened();
    return;
  }
  // One unplugged adapter can raise a stream of errors; the first one closes
  // the port and is reported, the rest are ignored. The close waits for the
  // event loop so that QSerialPort is not torn down inside its own signal.
  lost_ = true;
  away_.start();
  told_causes_.clear();
  // On a hung-up line QSerialPort's error text is a stale one from an
  // earlier call; the kind of error says more.
  std::string reason;
  switch (error) {
    case QSerialPort::ReadError:
      reason = "reading from it failed; it was unplugged or hung up";
      break;
    case QSerialPort::ResourceError:
      reason = "it became unavailable; it was unplugged";
      break;
    default:
      reason = port_.errorString().toStdString();
  }
  QTimer::singleShot(0, this, &QtSerialPort::CloseLostLine);
  reopen_.start();
  Report("The detector line on " + Describe() + " was lost: " + reason +
         ". No pulses are counted until it is back; the program looks for it every second "
         "and goes on by itself. The spectra and figures in memory are kept and can be saved.");
}

void QtSerialPort::CloseLostLine() {
  // Frames received before the failure are still counted.
  if (port_.bytesAvailable() >= threshold_) HandleReadyRead();
  CloseDevice();
}

void QtSerialPort::TryReopen() {
  if (shut_down_ || !lost_ || port_.isOpen()) return;
  // Mostly the device is simply not there yet: a stat says so at no cost.
  struct stat info {};
  if (stat(device_.c_str(), &info) != 0) return;
  std::optional<SerialOpenDiagnosis> diagnosis = HeldByLockFile(device_);
  if (!diagnosis && OpenDevice()) {
    reopen_.stop();
    lost_ = false;
    Report("The detector line on " + Describe() +
           " is back, and pulses are counted again; pulses during those " +
           FormatDuration(away_.elapsed()) + " were not counted.");
    if (port_.bytesAvailable() >= threshold_) HandleReadyRead();
    return;
  }
  if (!diagnosis) diagnosis = DiagnoseSerialOpen(device_);
  if (diagnosis->problem == SerialOpenProblem::kOther && diagnosis->reason.empty())
    diagnosis->reason = port_.errorString().toStdString();
  // Told once per cause; the looking goes on quietly.
  if (!told_causes_.insert(diagnosis->reason).second) return;
  std::string message = "Serial port " + std::to_string(number_) + " (" + device_ + ")" +
                        " is there again but cannot be opened: " + diagnosis->reason + ".";
  const std::string remedy = SerialOpenRemedy(diagnosis->problem, device_);
  if (!remedy.empty()) message += " " + remedy;
  Report(message + " The program keeps trying every second.");
}

void QtSerialPort::Shutdown() {
  shut_down_ = true;
  reopen_.stop();
  CloseDevice();
}

void QtSerialPort::Report(const std::string& message) {
  if (on_report_) on_report_(message);
}

}  // namespace pha
