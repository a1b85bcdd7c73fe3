// The few Xlib calls the program makes itself, where it shows its windows on
// an X server through Qt's xcb platform plugin. The program does not link
// Xlib: each call is taken from the libX11 the plugin has loaded, and on any
// other platform (Wayland, offscreen) does nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <set>

namespace pha {

// One round trip to the X server through Xlib (XSync), which retires the
// records Xlib keeps of the requests it has sent.
void RoundTripThroughXlib();

// The keycodes of the keys the X server holds down now (XQueryKeymap), or
// nothing where the program is not on an X server.
std::optional<std::set<std::uint32_t>> KeysDownOnTheXServer();

}  // namespace pha
