#include "platform/serial/line_settings.h"

#include <array>
#include <utility>

namespace pha {

std::optional<termios> ReadLineSettings(int fd) {
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) return std::nullopt;
  return settings;
}

bool SameLineSettings(const termios& now, const termios& wanted) {
  return now.c_iflag == wanted.c_iflag && now.c_oflag == wanted.c_oflag &&
         now.c_cflag == wanted.c_cflag && now.c_lflag == wanted.c_lflag &&
         now.c_cc[VMIN] == wanted.c_cc[VMIN] && now.c_cc[VTIME] == wanted.c_cc[VTIME] &&
         cfgetispeed(&now) == cfgetispeed(&wanted) && cfgetospeed(&now) == cfgetospeed(&wanted);
}

std::string DescribeLineSettings(const termios& settings) {
  constexpr std::array<std::pair<speed_t, int>, 18> kSpeeds = {{{B50, 50},
                                                                {B110, 110},
                                                                {B300, 300},
                                                                {B600, 600},
                                                                {B1200, 1200},
                                                                {B2400, 2400},
                                                                {B4800, 4800},
                                                                {B9600, 9600},
                                                                {B19200, 19200},
                                                                {B38400, 38400},
                                                                {B57600, 57600},
                                                                {B115200, 115200},
                                                                {B230400, 230400},
                                                                {B460800, 460800},
                                                                {B500000, 500000},
                                                                {B921600, 921600},
                                                                {B1000000, 1000000},
                                                                {B0, 0}}};
  const speed_t speed = cfgetispeed(&settings);
  std::string text = "another speed";
  for (const auto& [code, baud] : kSpeeds)
    if (code == speed) text = std::to_string(baud) + " baud";
  const tcflag_t size = settings.c_cflag & CSIZE;
  text += size == CS5 ? ", 5" : size == CS6 ? ", 6" : size == CS7 ? ", 7" : ", 8";
  text += " data bits, ";
  if ((settings.c_cflag & PARENB) == 0) {
    text += "no parity";
  } else {
    text += (settings.c_cflag & PARODD) != 0 ? "odd parity" : "even parity";
  }
  text += (settings.c_cflag & CSTOPB) != 0 ? ", 2 stop bits" : ", 1 stop bit";
  if ((settings.c_lflag & ICANON) != 0) text += ", line editing";
  if ((settings.c_lflag & ECHO) != 0) text += ", echo";
  if ((settings.c_lflag & ISIG) != 0) text += ", signal characters";
  if ((settings.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IUCLC)) != 0)
    text += ", input translated";
  if ((settings.c_iflag & (IXON | IXOFF)) != 0) text += ", XON/XOFF flow control";
  if ((settings.c_cflag & CRTSCTS) != 0) text += ", RTS/CTS flow control";
  if ((settings.c_cflag & CREAD) == 0) text += ", receiver off";
  return text;
}

}  // namespace pha
