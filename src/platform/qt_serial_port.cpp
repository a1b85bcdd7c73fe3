#include "platform/qt_serial_port.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <limits>
#include <vector>

#include "measurement/display_formats.h"
#include "platform/serial_devices.h"

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

// The lock files of the ports, removed at any end of the process: one left
// behind would keep every other account off the line until root removes it.
// An end through exit() (Qt's when the display server goes away, say) runs
// no destructor of the window that owns the port, and Qt's objects may no
// longer be touched then; the system releases the device itself.
std::set<const std::string*>& LockFiles() {
  // Never destroyed: it is read after the destructors of statics have run.
  static auto* const files = new std::set<const std::string*>;
  return *files;
}

void RemoveLockFilesAtExit() {
  for (const std::string* lock : LockFiles())
    if (SerialLockHolder(*lock) == getpid()) unlink(lock->c_str());
}

}  // namespace

// QSerialPort takes every byte the system receives into a buffer without a
// size limit, so a user-interface thread held up for a while (a slow disk
// during a save, say) loses no pulse: the backlog is decoded when it returns.
QtSerialPort::QtSerialPort(std::map<int, std::string> devices, QObject* parent,
                           int reopen_interval_ms, int read_rest_ms)
    : QObject(parent), devices_(std::move(devices)) {
  port_.setFlowControl(QSerialPort::NoFlowControl);
  connect(&port_, &QSerialPort::readyRead, this, &QtSerialPort::HandleReadyRead);
  connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPort::HandleError);
  reopen_.setInterval(reopen_interval_ms);
  connect(&reopen_, &QTimer::timeout, this, &QtSerialPort::TryReopen);
  // One timer for every rest: a single-shot timer of its own each time would
  // cost an object, and an event to delete it, per notification.
  rest_.setSingleShot(true);
  rest_.setInterval(read_rest_ms);
  connect(&rest_, &QTimer::timeout, this, [this] {
    if (read_notifier_ != nullptr) read_notifier_->setEnabled(true);
  });
  static const bool registered = std::atexit(RemoveLockFilesAtExit) == 0;
  (void)registered;
  LockFiles().insert(&lock_file_);
}

QtSerialPort::~QtSerialPort() {
  LockFiles().erase(&lock_file_);
  port_.close();
}

std::string QtSerialPort::Describe() const {
  return "serial port " + std::to_string(number_) + " (" + device_ + ")";
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
  if (OpenDevice()) return;
  // Qt's own words are vaguer than the system's ("Permission error while
  // locking the device"); a look at the device, and at its lock file, tells
  // which remedy fits.
  SerialOpenDiagnosis diagnosis = DiagnoseSerialOpen(device_);
  if (diagnosis.problem == SerialOpenProblem::kOther && diagnosis.reason.empty())
    diagnosis = DiagnoseSerialLock(device_);
  if (diagnosis.problem == SerialOpenProblem::kOther && diagnosis.reason.empty())
    diagnosis.reason = port_.errorString().toStdString();
  std::string message = "Cannot open " + Describe() + ": " + diagnosis.reason + ".";
  const std::string remedy = SerialOpenRemedy(diagnosis.problem, device_);
  if (!remedy.empty()) message += "\n\n" + remedy;
  throw PlatformError(message);
}

// The detector line is receive-only. The settings stay with QSerialPort, so
// that a reopening applies the very ones of the start-up.
bool QtSerialPort::OpenDevice() {
  if (!port_.open(QIODevice::ReadOnly)) return false;
  // QSerialPort claims the line for this program alone (TIOCEXCL): no other
  // program without root's rights can open it and take pulses away.
  lock_file_ = OwnSerialLockFile(device_);
  // Found once: the notifier lives as long as the port stays open.
  read_notifier_ = nullptr;
  for (QSocketNotifier* notifier : port_.findChildren<QSocketNotifier*>()) {
    if (notifier->type() == QSocketNotifier::Read) read_notifier_ = notifier;
  }
  return true;
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
  if (shut_down_ || !on_comm_ || !port_.isOpen() || port_.bytesAvailable() < threshold_) return;
  if (in_handler_) {
    // Never inside a running handler: look again once it has returned.
    QTimer::singleShot(0, this, &QtSerialPort::HandleReadyRead);
    return;
  }
  const qint64 arrived = port_.bytesAvailable();
  received_ += arrived;
  in_handler_ = true;
  event_ = kEvReceive;
  on_comm_();
  event_ = 0;
  in_handler_ = false;
  // Data that came in while the handler ran (through a nested event loop)
  // raises no readyRead of its own.
  if (port_.bytesAvailable() >= threshold_) {
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
    if (received_ - before < kFullReadBytes) break;
  }
  if (port_.bytesAvailable() >= threshold_) HandleReadyRead();
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

void QtSerialPort::HandleError(QSerialPort::SerialPortError error) {
  if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError || lost_ || shut_down_ ||
      !port_.isOpen())
    return;
  // A read that finds nothing where the system said bytes were waiting
  // (QSerialPort reports it as a read or resource error) means that another
  // reader took them, as long as the device itself is still there. The line
  // is not lost: reading goes on, and the operator learns why pulses are
  // missing.
  if ((error == QSerialPort::ReadError || error == QSerialPort::ResourceError) && !LineIsGone()) {
    port_.clearError();
    ++stolen_unreported_;
    // QSerialPort stops reading after a resource error; a rest starts it again.
    RestReadNotifier();
    if (!since_stolen_report_.isValid() || since_stolen_report_.hasExpired(kStolenReportEveryMs))
      ReportStolenBytes();
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

void QtSerialPort::ReportStolenBytes() {
  const bool first = !since_stolen_report_.isValid();
  const std::int64_t times = stolen_unreported_;
  since_stolen_report_.start();
  stolen_unreported_ = 0;
  Report("Bytes on the detector line of " + Describe() +
         " were gone before this program could read them" +
         (first ? std::string() : " (" + std::to_string(times) + " times in the last minutes)") +
         ": another program is reading the line, and the pulses it takes are not counted. Find "
         "it with: fuser -v " +
         device_ +
         " and stop it (a modem manager: sudo systemctl stop "
         "ModemManager).");
}

void QtSerialPort::CloseLostLine() {
  // Frames received before the failure are still counted.
  if (port_.bytesAvailable() >= threshold_) HandleReadyRead();
  lock_file_.clear();
  port_.close();
}

void QtSerialPort::TryReopen() {
  if (shut_down_ || !lost_ || port_.isOpen()) return;
  // Mostly the device is simply not there yet: a stat says so at no cost.
  struct stat info {};
  if (stat(device_.c_str(), &info) != 0) return;
  if (!OpenDevice()) {
    SerialOpenDiagnosis diagnosis = DiagnoseSerialOpen(device_);
    if (diagnosis.problem == SerialOpenProblem::kOther && diagnosis.reason.empty())
      diagnosis.reason = port_.errorString().toStdString();
    // Told once per cause; the looking goes on quietly.
    if (!told_causes_.insert(diagnosis.reason).second) return;
    std::string message = "Serial port " + std::to_string(number_) + " (" + device_ + ")" +
                          " is there again but cannot be opened: " + diagnosis.reason + ".";
    const std::string remedy = SerialOpenRemedy(diagnosis.problem, device_);
    if (!remedy.empty()) message += " " + remedy;
    Report(message + " The program keeps trying every second.");
    return;
  }
  reopen_.stop();
  lost_ = false;
  Report("The detector line on " + Describe() +
         " is back, and pulses are counted again; pulses during those " +
         FormatDuration(away_.elapsed()) + " were not counted.");
  if (port_.bytesAvailable() >= threshold_) HandleReadyRead();
}

void QtSerialPort::Shutdown() {
  shut_down_ = true;
  reopen_.stop();
  lock_file_.clear();
  port_.close();
}

void QtSerialPort::Report(const std::string& message) {
  if (on_report_) on_report_(message);
}

}  // namespace pha
