// The serial devices present, for a message that says which device the
// program could be built for instead.
#pragma once

#include <string>
#include <vector>

namespace pha {

// The serial devices present, as the kernel publishes them, without opening
// any: /dev/ttyUSB*, /dev/ttyACM*, the /dev/ttyS* with a UART behind them
// (a non-zero type in /sys/class/tty/ttyS*/type, or where the kernel gives
// no type, a driver), and the links in /dev/serial/by-id. `root` is put in
// front of /sys and /dev (empty: the system's own).
std::vector<std::string> PresentSerialDevices(const std::string& root = {});

}  // namespace pha
