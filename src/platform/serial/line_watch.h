// The watch on the open detector line: other programs that open it, the
// settings they may leave on it, the driver's overruns, pulses lost in a
// hold-up longer than the system's buffer, and reads that fail. It tells the
// operator of each, in the port's name, and sets the settings back.
#pragma once

#include <termios.h>

#include <QObject>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/serial/holdup_loss.h"
#include "platform/serial/line_reports.h"
#include "platform/serial/opener_watch.h"

namespace pha {

class LineWatch final : public QObject {
  Q_OBJECT

 public:
  // `report` takes each message; `report_every_ms` spaces those of a
  // happening that goes on.
  LineWatch(int report_every_ms, std::function<void(const std::string&)> report,
            QObject* parent = nullptr);

  // Just after the port `describe`d (as "serial port 1 (/dev/ttyUSB0)")
  // opened `device` as `fd`: its settings now are the ones to keep.
  void Start(int fd, const std::string& device, const std::string& describe);
  // Just before the port closes.
  void Stop();
  // About once a second, with everything waiting read in: `received` bytes
  // from the line so far, at `now_ms` on the monotonic clock.
  void Check(std::int64_t now_ms, std::int64_t received);
  // A read of the line failed: `error_number`, the system's.
  void ReadFailed(int error_number);

 private:
  void OthersOnTheLine(int opens, int closes);
  void CheckSettings();

  std::function<void(const std::string&)> report_;
  int fd_ = -1;
  std::string device_;
  std::string describe_;
  std::optional<termios> settings_;       // as the open set them
  std::optional<std::int64_t> overruns_;  // the driver's count, where it keeps one
  HoldUpLoss holdup_loss_;
  OpenerWatch openers_;
  RepeatedReport opened_report_;
  RepeatedReport settings_report_;
  RepeatedReport read_error_report_;
  std::string settings_found_;  // the last settings set back, described
  std::string read_error_;      // the last failed read's reason
};

}  // namespace pha
