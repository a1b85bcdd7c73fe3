#include "platform/serial_devices.h"

#include <fcntl.h>
#include <glob.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <system_error>

namespace pha {
namespace {

std::string SystemReason(int error_number) {
  std::string text = std::generic_category().message(error_number);
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

int OpenQuietly(const std::string& device) {
  return open(device.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

std::vector<std::string> Glob(const char* pattern) {
  std::vector<std::string> paths;
  glob_t found{};
  if (glob(pattern, 0, nullptr, &found) == 0) {
    for (std::size_t i = 0; i < found.gl_pathc; ++i) paths.emplace_back(found.gl_pathv[i]);
  }
  globfree(&found);
  return paths;
}

// Every /dev/ttyS* exists whether or not a UART is behind it.
bool HasUart(const std::string& device) {
  const int fd = OpenQuietly(device);
  if (fd < 0) return false;
  serial_struct info{};
  const bool uart = ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
  close(fd);
  return uart;
}

}  // namespace

SerialOpenDiagnosis DiagnoseSerialOpen(const std::string& device) {
  const int fd = OpenQuietly(device);
  if (fd < 0) {
    const int error = errno;
    switch (error) {
      case ENOENT:
      case ENODEV:
      case ENXIO:
        return {SerialOpenProblem::kNoSuchDevice, SystemReason(error)};
      case EACCES:
      case EPERM:
        return {SerialOpenProblem::kPermissionDenied, SystemReason(error)};
      case EBUSY:
        return {SerialOpenProblem::kBusy, SystemReason(error)};
      case EISDIR:
        return {SerialOpenProblem::kNotASerialDevice, "it is a folder, not a serial device"};
      default:
        return {SerialOpenProblem::kOther, SystemReason(error)};
    }
  }
  const bool terminal = isatty(fd) != 0;
  close(fd);
  if (!terminal) return {SerialOpenProblem::kNotASerialDevice, "it is not a serial device"};
  return {SerialOpenProblem::kOther, {}};
}

std::vector<std::string> PresentSerialDevices() {
  std::vector<std::string> devices;
  for (const char* pattern : {"/dev/ttyUSB*", "/dev/ttyACM*"}) {
    for (std::string& device : Glob(pattern)) devices.push_back(std::move(device));
  }
  for (std::string& device : Glob("/dev/ttyS*")) {
    if (HasUart(device)) devices.push_back(std::move(device));
  }
  for (std::string& device : Glob("/dev/serial/by-id/*")) devices.push_back(std::move(device));
  return devices;
}

std::string SerialOpenRemedy(SerialOpenProblem problem, const std::string& device) {
  switch (problem) {
    case SerialOpenProblem::kNoSuchDevice:
    case SerialOpenProblem::kNotASerialDevice: {
      const std::vector<std::string> present = PresentSerialDevices();
      std::string text;
      if (present.empty()) {
        text = "No serial device is present; is the detector plugged in?";
      } else {
        text = "Serial devices present:";
        for (const std::string& other : present) text += "\n    " + other;
      }
      return text + "\n\nThis program was built for " + device +
             "; to use another device, build it with -DPHA_SERIAL_PORT1=<device> (see the "
             "README).";
    }
    case SerialOpenProblem::kPermissionDenied:
      return "Your account may not use it: add it to the dialout group (sudo adduser $USER "
             "dialout), then log out and in again.";
    case SerialOpenProblem::kBusy:
      return "Another program holds it: close that program, then try again.";
    case SerialOpenProblem::kOther:
      return {};
  }
  return {};
}

}  // namespace pha
