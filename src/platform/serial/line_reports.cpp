#include "platform/serial/line_reports.h"

namespace pha {

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

std::string LocalTime(const QTime& time) {
  return time.toString(QStringLiteral("HH:mm:ss")).toStdString();
}

std::string When(const RepeatedReport::Tally& tally) {
  if (tally.times == 1) return "at " + LocalTime(tally.first);
  return std::to_string(tally.times) + " times between " + LocalTime(tally.first) + " and " +
         LocalTime(tally.last);
}

std::string FormatDuration(std::int64_t milliseconds) {
  constexpr std::int64_t kMinute = 60;
  constexpr std::int64_t kHour = 3600;
  const std::int64_t seconds = (milliseconds + 500) / 1000;
  const std::int64_t hours = seconds / kHour;
  const std::int64_t minutes = seconds / kMinute % 60;
  std::string text;
  if (hours > 0) text += std::to_string(hours) + " h ";
  if (hours > 0 || minutes > 0) text += std::to_string(minutes) + " min ";
  return text + std::to_string(seconds % kMinute) + " s";
}

}  // namespace pha
