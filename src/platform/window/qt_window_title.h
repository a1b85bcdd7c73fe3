// The window title on Qt: the running log of the most recent frames, handed
// to the window system at a pace it can take.
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <string>

#include "main_window/window_ops.h"

namespace pha {

// The window title. The decoder rewrites it with every frame, up to a
// thousand times a second, and each rewrite handed to the window system costs
// messages to and from the display server. So the text lives here, reading
// it returns the text last written at once, and the window system is given
// the newest text at most every 60 ms and at the latest 100 ms after it
// changed. Within a burst of frames the text goes out in the wake-up that
// brought it; a timer waits only for the last text of a burst.
//
// On X11, Qt sets WM_NAME through Xlib, and Xlib keeps a record of every
// request it sends until a round trip through Xlib retires it, which
// otherwise comes only every 65,000 or so requests on the connection; so
// every so many pushes, the title makes one.
class QtWindowTitle final : public Window {
 public:
  static constexpr int kPushIntervalMs = 60;
  static constexpr int kLatestPushMs = 100;
  // Some twenty seconds of pushes at the full rate.
  static constexpr int kPushesPerRoundTrip = 200;

  explicit QtWindowTitle(QWidget* window);
  const std::string& Caption() const override { return caption_; }
  void SetCaption(std::string text) override;

 private:
  void Push();

  QWidget* window_;
  std::string caption_;
  QTimer push_;  // for the last text of a burst
  QElapsedTimer since_push_;
  int pushes_ = 0;  // since the last round trip
};

}  // namespace pha
