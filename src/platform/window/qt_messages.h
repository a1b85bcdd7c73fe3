// The one window in which the program tells the operator of failures it
// survives: the detector line lost and back, a save or load that failed.
#pragma once

#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPoint>
#include <QPointer>
#include <QTimer>
#include <cstdint>
#include <deque>
#include <set>
#include <string>

#include "main_window/window_ops.h"

namespace pha {

// Every new message shows the window, raised and made active, whatever
// became of it since: closed with OK, Enter or Escape or by the window
// manager, sent a key by another program, unmapped or destroyed by one. A
// window cannot be trusted to be on the screen because the program once
// showed it: unless the platform says it is shown now, a new one is built
// where the last one stood. There is only ever one, and a burst of messages
// shows it once.
//
// The newest message stands on top, with its local time; below it the
// earlier ones, newest first, in a scrolling list: the last 200 since the
// program started, and a line saying how many earlier ones were dropped.
// Every message also goes to standard error at once, with the date and time.
// Nothing here blocks the event loop: pulses are counted behind the window.
//
// The window closes only by the operator's own act: a click on OK, the
// window manager's close, or Enter or Escape that this window saw pressed
// and then released. A key held down since before the window appeared (one
// the operator was typing elsewhere, or one that a program sending keys left
// down, repeating) closes nothing, pressed or released, nor do repeats.
class QtMessages final : public QObject, public Messages {
  Q_OBJECT

 public:
  static constexpr int kKeptMessages = 200;

  // The windows are children of `parent` (the main window), so that they
  // stand in front of it and go with it.
  explicit QtMessages(QWidget* parent);
  void ShowError(std::string_view message) override;

  // The window on show, else null.
  QDialog* Window() const { return window_; }
  // What it shows: the newest message, and the earlier ones with the line
  // about dropped ones, one to a line.
  QLabel* Newest() const { return newest_; }
  QPlainTextEdit* Earlier() const { return earlier_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Entry {
    std::string time;  // hh:mm:ss
    std::string text;
  };

  void ShowWindow();
  void BuildWindow();
  // Closes the window for Enter or Escape pressed and released in it.
  void TakeKey(const QKeyEvent& key);

  QWidget* parent_;
  std::deque<Entry> entries_;  // newest first
  std::uint64_t dropped_ = 0;
  QTimer show_;  // builds the window once per burst
  QPointer<QDialog> window_;
  QPointer<QLabel> newest_;
  QPointer<QLabel> earlier_title_;
  QPointer<QPlainTextEdit> earlier_;
  // The X server's keys that were down when the window appeared, until
  // each is released; and the closing key pressed in the window, if any.
  std::set<std::uint32_t> down_before_;
  int closing_key_down_ = 0;
  QPoint place_;
  bool placed_ = false;
};

}  // namespace pha
