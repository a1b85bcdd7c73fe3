#include "platform/window/xlib_calls.h"

#include <dlfcn.h>

#include <QGuiApplication>
#include <bit>

namespace pha {
namespace {

// The display of Qt's xcb platform plugin, or null.
Display* XDisplay() {
  const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  return x11 != nullptr ? x11->display() : nullptr;
}

// A function of the libX11 already loaded, or null.
template <typename Function>
Function FromXlib(const char* name) {
  void* xlib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
  return xlib != nullptr ? std::bit_cast<Function>(dlsym(xlib, name)) : nullptr;
}

}  // namespace

// Qt's QXcbWindow::setWindowTitle sets _NET_WM_NAME through XCB and WM_NAME
// through Xlib (XSetWMName); the next XFlush, from the event loop, hands
// Xlib's request to XCB in _XSend. Because XCB owns the event queue, _XSend
// appends a PendingRequest (32 bytes on the heap) for each request, so that
// its errors can be picked up later. Xlib drops those records only while it
// reads events (never: _XEventsQueued returns at once when XCB owns the queue)
// or waits for a reply (_XReply, which retires every record before its own).
// So they pile up, one per title, until Xlib's guard against sequence
// numbers wrapping waits for a reply of its own, about 65,000 requests on the
// connection later. XSync waits for a reply.
void RoundTripThroughXlib() {
  Display* display = XDisplay();
  if (display == nullptr) return;
  using XSyncFunction = int (*)(Display*, int);
  static const auto xsync = FromXlib<XSyncFunction>("XSync");
  if (xsync != nullptr) xsync(display, /*discard=*/0);
}

std::optional<std::set<std::uint32_t>> KeysDownOnTheXServer() {
  Display* display = XDisplay();
  if (display == nullptr) return std::nullopt;
  using XQueryKeymapFunction = int (*)(Display*, char[32]);
  static const auto query = FromXlib<XQueryKeymapFunction>("XQueryKeymap");
  char bits[32] = {};
  if (query == nullptr || query(display, bits) == 0) return std::nullopt;
  std::set<std::uint32_t> keys;
  for (std::uint32_t code = 0; code < 256; ++code)
    if ((static_cast<unsigned char>(bits[code / 8]) >> (code % 8) & 1) != 0) keys.insert(code);
  return keys;
}

}  // namespace pha
