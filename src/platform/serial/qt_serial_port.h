// Serial port 1 on QSerialPort, notifying on the user-interface thread, and
// watched: other programs that open the line or change its settings, bytes
// lost while the program was held up, and the line lost and back.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "main_window/files_and_clock.h"
#include "main_window/serial_port.h"
#include "platform/posix/clocks.h"
#include "platform/serial/line_watch.h"
#include "platform/serial/lock_files.h"
#include "platform/serial/open_diagnosis.h"

namespace pha {

// The pace of a port's own work; tests make it quicker, and set its clock.
struct SerialPortTiming {
  int reopen_interval_ms = 1000;
  // Long enough that a line delivering frame by frame wakes the program
  // some ten times a second, and that each wake-up also hands the title
  // on; no longer than the 200 ms between pictures, and far from filling
  // any buffer.
  int read_rest_ms = 100;
  // How often the line's settings, the driver's overruns and hold-ups are
  // looked at (CheckLine()).
  int check_interval_ms = 1000;
  // Other openers, changed settings and failed reads are told at once,
  // then at most this often.
  int report_every_ms = 60'000;
  // The system's monotonic clock when null.
  const MonotonicClock* clock = nullptr;
};

// A line that fails after start-up (an adapter unplugged, a hub reset) is
// closed and reported once; then the device is looked for about once a
// second and reopened with the same settings as soon as it is back, whether
// under a re-created pty, a re-enumerated /dev/ttyUSB0 or a by-id link that
// reappears. The decoder knows nothing of it: it sees no notification while
// the line is away, and its own resynchronisation copes with a first frame
// that comes cut.
class QtSerialPort final : public QObject, public SerialPort {
  Q_OBJECT

 public:
  // `devices` maps port numbers to the system's device paths.
  explicit QtSerialPort(std::map<int, std::string> devices, QObject* parent = nullptr,
                        SerialPortTiming timing = {});
  ~QtSerialPort() override;

  void SetCommPort(int number) override;
  void SetSettings(std::string_view settings) override;
  void SetInputModeBinary() override {}  // QSerialPort never alters bytes
  void SetInputLen(int bytes) override { input_len_ = bytes; }
  void SetRThreshold(int bytes) override { threshold_ = bytes; }
  // Throws PlatformError where the device cannot be opened, or a live lock
  // file of another program claims it.
  void Open() override;

  int CommEvent() const override { return event_; }
  int InBufferCount() const override;
  void Input(std::span<std::uint8_t> out) override;

  // Called on the user-interface thread whenever newly arrived data leaves at
  // least the threshold number of bytes waiting.
  void OnComm(std::function<void()> handler) { on_comm_ = std::move(handler); }
  // Called with a message for the operator: the line lost, back, or back but
  // not to be opened (once per cause); another program on the line; its
  // settings changed and set back; pulses lost in a hold-up; a read that
  // failed.
  void OnLineReport(std::function<void(const std::string&)> handler) {
    on_report_ = std::move(handler);
  }
  // Closes the port for good: no notification, no reopening.
  void Shutdown();
  // Reads what the system holds for the line now, so that it is decoded
  // before whatever comes next (a tick of the one-second timer, a click).
  void DeliverWaiting();
  // Reads what is waiting, then looks at the line: its settings (set back
  // where another program changed them), the driver's overrun counters, and
  // whether a hold-up since the last look lost bytes. Runs every
  // check_interval_ms by itself.
  void CheckLine();

  bool IsOpen() const { return port_.isOpen(); }

 private:
  // 100 ms of the line bring 192 bytes; far more means a backlog.
  static constexpr qint64 kRestBelowBytes = 512;
  // The terminal layer hands on at most its buffer of 4 KiB a read, less a
  // byte; a read of this much may have left more behind.
  static constexpr std::int64_t kFullReadBytes = 4000;
  static constexpr int kRefillWaitMs = 5;
  static constexpr int kMostDeliveredChunks = 32;

  bool OpenDevice();
  // Opens the device unless another program's lock file claims it; where it
  // does not open, why: the device, its lock file and Qt's words asked in
  // turn.
  std::optional<SerialOpenDiagnosis> OpenOrDiagnose();
  void CloseDevice();
  void HandleReadyRead();
  void RestReadNotifier();
  void HandleError(QSerialPort::SerialPortError error);
  // Whether the device behind the open port is gone: hung up, its name
  // removed, or the name now standing for another device.
  bool LineIsGone() const;
  void CloseLostLine();
  void TryReopen();
  void Report(const std::string& message);
  std::string Describe() const;
  std::int64_t NowMs() const;

  std::map<int, std::string> devices_;
  SerialPortTiming timing_;
  SteadyClock steady_clock_;
  QSerialPort port_;
  int number_ = 0;
  std::string device_;
  OwnLockFile lock_file_;
  int input_len_ = 1;
  int threshold_ = 1;
  int event_ = 0;
  bool in_handler_ = false;
  bool lost_ = false;  // failed after start-up and not back yet
  bool shut_down_ = false;
  QTimer reopen_{this};
  QTimer rest_{this};                  // the read notifier's rest
  QTimer check_{this};                 // CheckLine()
  QElapsedTimer away_;                 // since the line was lost
  std::set<std::string> told_causes_;  // why it would not reopen, each told once
  // Bytes taken from QSerialPort's buffer in all (read, or dropped with the
  // line); with those still in it, all the line has brought: Received().
  std::int64_t taken_ = 0;
  std::int64_t Received() const;
  QPointer<QSocketNotifier> read_notifier_;  // QSerialPort's own, if it has one
  LineWatch watch_;
  std::function<void()> on_comm_;
  std::function<void(const std::string&)> on_report_;
};

}  // namespace pha
