// The detector line lost and found again, and reads that fail: the part of
// QtSerialPort that tells a pulled cable from a failing adapter and from
// another reader, closes a lost line, and reopens it when the device is back.
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <QTimer>
#include <cerrno>

#include "platform/serial/line_reports.h"
#include "platform/serial/open_diagnosis.h"
#include "platform/serial/qt_serial_port.h"

namespace pha {

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
    if (ioctl(port_.handle(), FIONREAD, &waiting) != 0) watch_.ReadFailed(errno);
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
  const std::optional<SerialOpenDiagnosis> diagnosis = OpenOrDiagnose();
  if (!diagnosis) {
    reopen_.stop();
    lost_ = false;
    Report("The detector line on " + Describe() +
           " is back, and pulses are counted again; pulses during those " +
           FormatDuration(away_.elapsed()) + " were not counted.");
    if (port_.bytesAvailable() >= threshold_) HandleReadyRead();
    return;
  }
  // Told once per cause; the looking goes on quietly.
  if (!told_causes_.insert(diagnosis->reason).second) return;
  std::string message =
      Describe() + " is there again but cannot be opened: " + diagnosis->reason + ".";
  message[0] = 'S';
  const std::string remedy = SerialOpenRemedy(diagnosis->problem, device_);
  if (!remedy.empty()) message += " " + remedy;
  Report(message + " The program keeps trying every second.");
}

}  // namespace pha
