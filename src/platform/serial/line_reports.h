// How the serial port words what happens on the line for the operator: a
// happening told at once and then at most once an interval with how often
// it came meanwhile, and the times and spans of time in its messages.
#pragma once

#include <QObject>
#include <QTime>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <string>

namespace pha {

// Something on the line the operator is told of at once, and then, while it
// goes on, at most once per interval, with how often it happened meanwhile.
class RepeatedReport final : public QObject {
  Q_OBJECT

 public:
  struct Tally {
    std::int64_t times = 0;
    QTime first, last;     // local times of the first and the last of them
    bool earlier = false;  // told before: these are more of the same
  };
  RepeatedReport(int interval_ms, std::function<void(const Tally&)> tell,
                 QObject* parent = nullptr);
  void Happened(int times = 1);

 private:
  void TellPending();

  std::function<void(const Tally&)> tell_;
  QTimer next_;  // when the pending ones may be told
  Tally pending_;
  bool told_ = false;
};

// "at 10:01:02", or "3 times between 10:01:02 and 10:01:59".
std::string When(const RepeatedReport::Tally& tally);

// A local time as "10:01:02".
std::string LocalTime(const QTime& time);

// A span of time to the nearest second, as "45 s", "2 min 6 s" or
// "3 h 0 min 12 s".
std::string FormatDuration(std::int64_t milliseconds);

}  // namespace pha
