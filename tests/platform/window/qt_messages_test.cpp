// The message window, offscreen and under a real X server (CMakeLists.txt),
// where other programs send it keys, unmap or destroy it behind Qt's back,
// and where a key can be held down as it appears.
#include "platform/window/qt_messages.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QWindow>
#include <bit>
#include <functional>

#include "support/qt_wait.h"

namespace pha {
namespace {

using testing::HandleEventsFor;
using testing::WaitFor;

// Another program's doings on the X server, through the libraries Qt's xcb
// plugin has loaded (and libXtst for the keyboard); each returns false where
// the window system is not X (offscreen).
class XServer {
 public:
  XServer() {
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    display_ = x11 != nullptr ? x11->display() : nullptr;
    xlib_ = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
    xtest_ = dlopen("libXtst.so.6", RTLD_LAZY);
  }
  bool There() const { return display_ != nullptr && xlib_ && xtest_; }

  // A request on the window, as another program makes it: "XUnmapWindow".
  bool Ask(const char* request, QWindow& window) {
    if (!There()) return false;
    Function<int (*)(Display*, unsigned long)>(xlib_, request)(display_, window.winId());
    return Function<int (*)(Display*)>(xlib_, "XFlush")(display_), true;
  }
  // The key goes down, or up, on the server's keyboard (XTEST), as a
  // keyboard or a program driving it makes it; held down, it repeats.
  bool Key(bool press, const char* key = "Return") {
    if (!There()) return false;
    const auto keysym = Function<unsigned long (*)(const char*)>(xlib_, "XStringToKeysym")(key);
    const auto code = Function<std::uint8_t (*)(Display*, unsigned long)>(
        xlib_, "XKeysymToKeycode")(display_, keysym);
    Function<int (*)(Display*, unsigned, int, unsigned long)>(xtest_, "XTestFakeKeyEvent")(
        display_, code, press ? 1 : 0, 0);
    return Function<int (*)(Display*)>(xlib_, "XFlush")(display_), true;
  }

 private:
  template <typename F>
  static F Function(void* library, const char* name) {
    return std::bit_cast<F>(dlsym(library, name));
  }

  Display* display_ = nullptr;
  void* xlib_ = nullptr;
  void* xtest_ = nullptr;
};

// The message windows on the screen now.
std::vector<QDialog*> Shown(const QWidget& main) {
  std::vector<QDialog*> windows;
  for (QDialog* window : main.findChildren<QDialog*>()) {
    if (window->isVisible() && window->windowHandle() != nullptr &&
        window->windowHandle()->isExposed())
      windows.push_back(window);
  }
  return windows;
}

// However the operator or another program closed the message window, the
// next failure shows it again, on the screen, the newest message on top and
// the earlier ones below with their times. A key closes it only when it saw
// the key both pressed and released.
TEST(Messages, EveryNewMessageShowsTheWindowHoweverItWasClosed) {
  QWidget main;
  QtMessages messages(&main);
  XServer x;
  const auto typed = [](int key) {  // as Qt hands a key pressed and released to a window
    return [key](QDialog& window) {
      for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
        QKeyEvent event(type, key, Qt::NoModifier);
        QApplication::sendEvent(&window, &event);
      }
    };
  };
  const struct {
    const char* how;
    std::function<void(QDialog&)> close;
    bool closes;
  } ways[] = {
      {"Enter typed", typed(Qt::Key_Return), true},
      {"Escape typed", typed(Qt::Key_Escape), true},
      {"closed by the window manager", [](QDialog& window) { window.close(); }, true},
      // Through the X server where there is one; offscreen, as Qt hands them on.
      // As xdotool key sends it to the window that has the focus.
      {"Enter sent to it by another program",
       [&](QDialog& window) {
         window.activateWindow();
         if (!WaitFor([&] { return window.isActiveWindow(); }) || !x.Key(true) || !x.Key(false))
           typed(Qt::Key_Return)(window);
       },
       true},
      {"unmapped by another program",
       [&](QDialog& window) {
         if (!x.Ask("XUnmapWindow", *window.windowHandle())) window.close();
       },
       true},
      {"destroyed by another program",
       [&](QDialog& window) {
         if (!x.Ask("XDestroyWindow", *window.windowHandle())) window.close();
       },
       true},
  };
  const QRegularExpression timed(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d +message (\\d+)$"));
  const auto number = [&](const QString& line) {
    const QRegularExpressionMatch match = timed.match(line);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
  };
  messages.ShowError("message 0");
  int sent = 0;
  for (const auto& way : ways) {
    SCOPED_TRACE(way.how);
    ASSERT_TRUE(WaitFor([&] { return Shown(main).size() == 1; }, 3000));
    way.close(*messages.Window());
    EXPECT_EQ(WaitFor([&] { return Shown(main).empty(); }, 300), way.closes);
    messages.ShowError("message " + std::to_string(++sent));
    ASSERT_TRUE(WaitFor(
        [&] { return Shown(main).size() == 1 && number(messages.Newest()->text()) == sent; },
        3000));
    ASSERT_EQ(Shown(main), std::vector<QDialog*>{messages.Window()});
    const QStringList earlier = messages.Earlier()->toPlainText().split('\n');
    ASSERT_EQ(earlier.size(), sent);
    for (int i = 0; i < sent; ++i) EXPECT_EQ(number(earlier[i]), sent - 1 - i) << i;
  }
}

// A key held down on the X server as a new window appears (the operator's,
// or one that a program sending keys left down when the window it went to
// closed) repeats into the new window and at last is released there: none
// of that closes it, and a key typed afterwards does.
TEST(Messages, AKeyHeldDownAsTheWindowAppearsClosesNothing) {
  XServer x;
  if (!x.There()) GTEST_SKIP() << "needs an X server (run under Xvfb by CMakeLists.txt)";
  QWidget main;
  QtMessages messages(&main);
  ASSERT_TRUE(x.Key(true));
  for (int failure = 1; failure <= 3; ++failure) {
    SCOPED_TRACE(failure);
    messages.ShowError("failure " + std::to_string(failure));
    ASSERT_TRUE(WaitFor([&] { return Shown(main).size() == 1; }, 3000));
    HandleEventsFor(1200);  // past the keyboard's repeat delay
    ASSERT_EQ(Shown(main).size(), 1U);
    if (failure == 3) {
      x.Key(false);
      HandleEventsFor(300);
      ASSERT_EQ(Shown(main).size(), 1U);
    }
    messages.Window()->close();
    ASSERT_TRUE(WaitFor([&] { return Shown(main).empty(); }, 3000));
  }
  messages.ShowError("typed away");
  ASSERT_TRUE(WaitFor([&] { return Shown(main).size() == 1; }, 3000));
  messages.Window()->activateWindow();
  ASSERT_TRUE(WaitFor([&] { return messages.Window()->isActiveWindow(); }, 3000));
  x.Key(true);
  x.Key(false);
  EXPECT_TRUE(WaitFor([&] { return Shown(main).empty(); }, 3000));
}

}  // namespace
}  // namespace pha
