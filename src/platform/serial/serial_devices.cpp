#include "platform/serial/serial_devices.h"

#include <fcntl.h>
#include <glob.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "main_window/files_and_clock.h"

namespace pha {
namespace {

std::vector<std::string> Glob(const std::string& pattern) {
  std::vector<std::string> paths;
  glob_t found{};
  if (glob(pattern.c_str(), 0, nullptr, &found) == 0) {
    for (std::size_t i = 0; i < found.gl_pathc; ++i) paths.emplace_back(found.gl_pathv[i]);
  }
  globfree(&found);
  return paths;
}

std::string FileName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// Every /dev/ttyS* exists whether or not a UART is behind it; the kernel
// tells which have one in sysfs, so that no device has to be opened (an
// open raises the modem lines, and some equipment resets on that).
bool HasUart(const std::string& root, const std::string& name) {
  const std::string tty = root + "/sys/class/tty/" + name;
  std::ifstream type_file(tty + "/type");
  int type = 0;
  if (type_file >> type) return type != 0;
  std::error_code error;
  return std::filesystem::exists(tty + "/device/driver", error);
}

}  // namespace

std::vector<std::string> PresentSerialDevices(const std::string& root) {
  std::vector<std::string> devices;
  for (const char* pattern : {"/dev/ttyUSB*", "/dev/ttyACM*"}) {
    for (std::string& device : Glob(root + pattern)) devices.push_back(std::move(device));
  }
  for (std::string& device : Glob(root + "/dev/ttyS*")) {
    if (HasUart(root, FileName(device))) devices.push_back(std::move(device));
  }
  for (std::string& device : Glob(root + "/dev/serial/by-id/*"))
    devices.push_back(std::move(device));
  return devices;
}

}  // namespace pha
