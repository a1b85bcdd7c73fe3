#include "platform/serial/opener_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>

namespace pha {

OpenerWatch::OpenerWatch(std::function<void(int, int)> on_events, QObject* parent)
    : QObject(parent), on_events_(std::move(on_events)) {}

OpenerWatch::~OpenerWatch() {
  notifier_.reset();
  if (inotify_ >= 0) close(inotify_);
}

bool OpenerWatch::Watch(const std::string& path) {
  Stop();
  if (inotify_ < 0) {
    inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify_ < 0) return false;
    notifier_ = std::make_unique<QSocketNotifier>(inotify_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &OpenerWatch::ReadEvents);
  }
  watch_ = inotify_add_watch(inotify_, path.c_str(), IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE);
  return watch_ >= 0;
}

void OpenerWatch::Stop() {
  if (watch_ < 0) return;
  // What came before the stop still counts.
  ReadEvents();
  inotify_rm_watch(inotify_, watch_);
  watch_ = -1;
}

void OpenerWatch::ReadEvents() {
  if (inotify_ < 0) return;
  int opens = 0;
  int closes = 0;
  alignas(inotify_event) char events[4096];
  for (;;) {
    const ssize_t got = read(inotify_, events, sizeof events);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    for (const char* at = events; at < events + got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(at);
      if (event->wd == watch_ && watch_ >= 0) {
        if ((event->mask & IN_OPEN) != 0) ++opens;
        if ((event->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) != 0) ++closes;
      }
      at += sizeof(inotify_event) + event->len;
    }
  }
  if (opens > 0 || closes > 0) on_events_(opens, closes);
}

}  // namespace pha
