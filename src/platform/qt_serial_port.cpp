#include "platform/qt_serial_port.h"

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>
#include <vector>

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
// during a save, say) loses no pulse: the backlog is decoded when it returns.
QtSerialPort::QtSerialPort(std::map<int, std::string> devices, QObject* parent)
    : QObject(parent), devices_(std::move(devices)) {
  port_.setFlowControl(QSerialPort::NoFlowControl);
  connect(&port_, &QSerialPort::readyRead, this, &QtSerialPort::HandleReadyRead);
  connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPort::HandleError);
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
  failed_ = false;
  // The detector line is receive-only.
  if (!port_.open(QIODevice::ReadOnly)) {
    throw PlatformError("Cannot open " + Describe() + ": " + port_.errorString().toStdString() +
                        ".");
  }
  // Found once: the notifier lives as long as the port stays open.
  read_notifier_ = nullptr;
  for (QSocketNotifier* notifier : port_.findChildren<QSocketNotifier*>()) {
    if (notifier->type() == QSocketNotifier::Read) read_notifier_ = notifier;
  }
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
  if (failed_ || !on_comm_ || port_.bytesAvailable() < threshold_) return;
  if (in_handler_) {
    // Never inside a running handler: look again once it has returned.
    QTimer::singleShot(0, this, &QtSerialPort::HandleReadyRead);
    return;
  }
  const qint64 arrived = port_.bytesAvailable();
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
// for a few milliseconds: the bytes of that time wait in the system's buffer
// (19 of them at the line's full rate, in a buffer of thousands) and arrive
// together. A backlog (after the thread was held up) is read on at full
// speed. Should QSerialPort one day keep no such notifier, nothing rests and
// every byte still arrives.
void QtSerialPort::RestReadNotifier() {
  QSocketNotifier* notifier = read_notifier_;
  if (notifier == nullptr || !notifier->isEnabled()) return;
  notifier->setEnabled(false);
  QTimer::singleShot(kReadRestMs, notifier, [notifier] { notifier->setEnabled(true); });
}

void QtSerialPort::HandleError(QSerialPort::SerialPortError error) {
  if (error == QSerialPort::NoError || failed_ || !port_.isOpen()) return;
  // One unplugged adapter can raise a stream of errors; the first one closes
  // the port and is reported, the rest are ignored. The close waits for the
  // event loop so that QSerialPort is not torn down inside its own signal.
  failed_ = true;
  // On a hung-up line QSerialPort's error text is a stale one from an
  // earlier call; the kind of error says more.
  std::string reason;
  switch (error) {
    case QSerialPort::ReadError:
      reason = "reading from the device failed; it was unplugged or hung up";
      break;
    case QSerialPort::ResourceError:
      reason = "the device became unavailable; it was unplugged";
      break;
    default:
      reason = port_.errorString().toStdString();
  }
  const std::string message = "The detector line on " + Describe() + " failed: " + reason +
                              ". The port is closed and no more pulses are counted; the "
                              "spectra and figures in memory are kept and can be saved.";
  QTimer::singleShot(0, this, [this] { port_.close(); });
  if (on_failure_) on_failure_(message);
}

}  // namespace pha
