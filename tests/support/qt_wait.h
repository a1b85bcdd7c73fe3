// Waiting on a condition in tests that run a Qt event loop.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <functional>

namespace pha::testing {

// Handles events until `done` holds or `timeout_ms` has passed; returns
// whether it holds. The timeout only bounds a failing test.
inline bool WaitFor(const std::function<bool()>& done, int timeout_ms = 10000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > timeout_ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::usleep(200);
  }
  return true;
}

// Handles events for a while, for checks that something does not happen.
inline void HandleEventsFor(int ms) {
  WaitFor([] { return false; }, ms);
}

}  // namespace pha::testing
