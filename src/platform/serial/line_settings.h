// The settings of the detector line as the terminal layer holds them, read
// back and compared: another program that opens the line may leave it at
// other settings (a modem manager's probe at 9600 baud with line editing
// on, say), and from then on the detector's bytes arrive garbled, late or
// not at all.
#pragma once

#include <termios.h>

#include <optional>
#include <string>

namespace pha {

// The settings of the open line `fd`, or nothing where they cannot be read.
std::optional<termios> ReadLineSettings(int fd);

// Whether `now` still reads bytes as `wanted` does: speed, character size,
// parity, stop bits, flow control, and every translation and line editing
// of input, output and the line. The special characters, which only line
// editing uses, do not count.
bool SameLineSettings(const termios& now, const termios& wanted);

// The settings for the operator, e.g. "9600 baud, 7 data bits, even parity,
// 2 stop bits, line editing, echo, RTS/CTS flow control".
std::string DescribeLineSettings(const termios& settings);

}  // namespace pha
