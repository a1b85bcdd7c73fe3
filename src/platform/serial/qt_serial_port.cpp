// Serial port 1 on QSerialPort: its set-up and opening, the reading of the
// line and the notifications of the decoder, the rest between reads, and the
// once-a-second look at the line. Losing it and finding it again:
// qt_serial_port_lost.cpp.
#include "platform/serial/qt_serial_port.h"

#include <poll.h>

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>
#include <vector>

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

}  // namespace

// QSerialPort takes every byte the system receives into a buffer without a
// size limit, so a user-interface thread held up for a while (a slow disk
// during a save, say) loses no pulse that the system kept meanwhile: the
// backlog is decoded when it returns.
QtSerialPort::QtSerialPort(std::map<int, std::string> devices, QObject* parent,
                           SerialPortTiming timing)
    : QObject(parent),
      devices_(std::move(devices)),
      timing_(timing),
      watch_(
          timing.report_every_ms, [this](const std::string& message) { Report(message); }, this) {
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
  watch_.Stop();
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
  const std::optional<SerialOpenDiagnosis> diagnosis = OpenOrDiagnose();
  if (!diagnosis) return;
  std::string message = "Cannot open " + Describe() + ": " + diagnosis->reason + ".";
  const std::string remedy = SerialOpenRemedy(diagnosis->problem, device_);
  if (!remedy.empty()) message += "\n\n" + remedy;
  throw PlatformError(message);
}

std::optional<SerialOpenDiagnosis> QtSerialPort::OpenOrDiagnose() {
  // A lock file of another program that runs keeps this one off the line,
  // whatever QSerialPort would make of it.
  std::optional<SerialOpenDiagnosis> diagnosis = HeldByLockFile(device_);
  if (!diagnosis && OpenDevice()) return std::nullopt;
  // Qt's own words are vaguer than the system's ("Permission error while
  // locking the device"); a look at the device, and at its lock file, tells
  // which remedy fits.
  if (!diagnosis) diagnosis = DiagnoseSerialOpen(device_);
  if (diagnosis->problem == SerialOpenProblem::kOther && diagnosis->reason.empty())
    diagnosis = DiagnoseSerialLock(device_);
  if (diagnosis->problem == SerialOpenProblem::kOther && diagnosis->reason.empty())
    diagnosis->reason = port_.errorString().toStdString();
  return diagnosis;
}

// The detector line is receive-only. The settings stay with QSerialPort, so
// that a reopening applies the very ones of the start-up.
bool QtSerialPort::OpenDevice() {
  if (!port_.open(QIODevice::ReadOnly)) return false;
  // QSerialPort claims the line for this program alone (TIOCEXCL): no other
  // program without root's rights can open it and take pulses away. One with
  // them is watched for from now on.
  watch_.Start(port_.handle(), device_, Describe());
  lock_file_.Find(device_);
  // Found once: the notifier lives as long as the port stays open.
  read_notifier_ = nullptr;
  for (QSocketNotifier* notifier : port_.findChildren<QSocketNotifier*>()) {
    if (notifier->type() == QSocketNotifier::Read) read_notifier_ = notifier;
  }
  check_.start();
  return true;
}

void QtSerialPort::CloseDevice() {
  check_.stop();
  watch_.Stop();
  lock_file_.Forget();
  taken_ += port_.bytesAvailable();  // dropped with the line, but they came
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
  taken_ += std::max<qint64>(got, 0);
  // Only called with the bytes waiting; should a read still come short, the
  // rest reads as 0xFF, which puts any frame above 65280: rejected.
  std::fill(out.begin() + std::max<qint64>(got, 0), out.begin() + wanted, 0xFF);
}

std::int64_t QtSerialPort::Received() const {
  return taken_ + (port_.isOpen() ? port_.bytesAvailable() : 0);
}

void QtSerialPort::HandleReadyRead() {
  if (!port_.isOpen()) return;
  const qint64 arrived = port_.bytesAvailable();
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
    const std::int64_t before = Received();
    port_.waitForReadyRead(0);
    if (!port_.isOpen() || Received() - before < kFullReadBytes) break;
  }
  if (port_.isOpen() && port_.bytesAvailable() >= threshold_) HandleReadyRead();
}

void QtSerialPort::CheckLine() {
  if (shut_down_ || lost_ || !port_.isOpen()) return;
  DeliverWaiting();
  if (lost_ || !port_.isOpen()) return;
  watch_.Check(NowMs(), Received());
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
