#include "platform/window/qt_window_title.h"

#include "platform/window/xlib_calls.h"

namespace pha {

QtWindowTitle::QtWindowTitle(QWidget* window)
    : window_(window), caption_(window->windowTitle().toStdString()) {
  push_.setSingleShot(true);
  QObject::connect(&push_, &QTimer::timeout, window_, [this] { Push(); });
  since_push_.start();
}

void QtWindowTitle::SetCaption(std::string text) {
  caption_ = std::move(text);
  if (push_.isActive()) return;
  const qint64 waited = since_push_.elapsed();
  if (waited >= kPushIntervalMs) {
    Push();
  } else {
    push_.start(static_cast<int>(kLatestPushMs - waited));
  }
}

void QtWindowTitle::Push() {
  push_.stop();
  since_push_.start();
  window_->setWindowTitle(QString::fromStdString(caption_));
  if (++pushes_ < kPushesPerRoundTrip) return;
  pushes_ = 0;
  RoundTripThroughXlib();
}

}  // namespace pha
