#include "platform/serial_devices.h"

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

std::string SystemReason(int error_number) {
  std::string text = std::generic_category().message(error_number);
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

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

// The name a device's lock file carries, as serial programs make it.
std::string LockName(const std::string& device) {
  std::string name = device.starts_with("/dev/") ? device.substr(5) : device;
  std::replace(name.begin(), name.end(), '/', '_');
  return "LCK.." + name;
}

std::string ProcessName(long pid) {
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

std::string PermissionRemedy(const std::string& device) {
  struct stat info {};
  std::error_code error;
  const std::filesystem::path real = std::filesystem::canonical(device, error);
  if (stat(device.c_str(), &info) != 0) return {};
  const group* owner = info.st_gid != 0 ? getgrgid(info.st_gid) : nullptr;
  if (owner != nullptr && (info.st_mode & S_IRGRP) != 0) {
    const std::string name = owner->gr_name;
    // Already a member, but not in this session: the groups of a session
    // are fixed when it starts.
    const passwd* account = getpwuid(getuid());
    bool member = false;
    for (char** who = owner->gr_mem; account != nullptr && *who != nullptr; ++who)
      member = member || std::string(*who) == account->pw_name;
    if (member) {
      return "Your account is in the group " + name +
             " that may use it, but this session began before it was added: log out and in "
             "again.";
    }
    return "Your account may not use it: add it to the group " + name + " (sudo adduser $USER " +
           name + "), then log out and in again.";
  }
  const std::string kernel_name = error ? FileName(device) : real.filename().string();
  return "Only root may open it. Give the desktop's user access with a udev rule: a file "
         "/etc/udev/rules.d/70-pha.rules holding\n    KERNEL==\"" +
         kernel_name + "\", TAG+=\"uaccess\"\nthen plug the adapter in again (see the README).";
}

}  // namespace

SerialOpenDiagnosis DiagnoseSerialOpen(const std::string& device) {
  const int fd = open(device.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
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
        return {SerialOpenProblem::kBusy, "it is in use"};
      case EISDIR:
        return {SerialOpenProblem::kNotASerialDevice, "it is a folder, not a serial device"};
      case EMFILE:
      case ENFILE:
        return {SerialOpenProblem::kTooManyFiles, SystemReason(error)};
      default:
        return {SerialOpenProblem::kOther, SystemReason(error)};
    }
  }
  const bool terminal = isatty(fd) != 0;
  close(fd);
  if (!terminal) return {SerialOpenProblem::kNotASerialDevice, "it is not a serial device"};
  return {SerialOpenProblem::kOther, {}};
}

std::vector<std::string> SerialLockFiles(const std::string& device) {
  std::vector<std::string> folders = {"/var/lock",         "/etc/locks", "/var/spool/locks",
                                      "/var/spool/uucp",   "/tmp",       "/var/tmp",
                                      "/var/lock/lockdev", "/run/lock"};
  if (const char* tmp = std::getenv("TMPDIR"); tmp != nullptr && *tmp != '\0')
    folders.emplace_back(tmp);
  for (std::string& folder : folders) folder += "/" + LockName(device);
  return folders;
}

long SerialLockHolder(const std::string& lock) {
  std::ifstream file(lock);
  long pid = 0;
  return file >> pid ? pid : 0;
}

std::string OwnSerialLockFile(const std::string& device) {
  for (const std::string& lock : SerialLockFiles(device))
    if (SerialLockHolder(lock) == getpid()) return lock;
  return {};
}

SerialOpenDiagnosis DiagnoseSerialLock(const std::string& device) {
  for (const std::string& lock : SerialLockFiles(device)) {
    if (access(lock.c_str(), R_OK) != 0) continue;
    const long pid = SerialLockHolder(lock);
    if (pid > 0 && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)) {
      const std::string name = ProcessName(pid);
      return {SerialOpenProblem::kBusy,
              "it is in use by " + (name.empty() ? std::string("process ") : name + ", process ") +
                  std::to_string(pid)};
    }
    struct stat info {};
    const bool own = stat(lock.c_str(), &info) == 0 && info.st_uid == getuid();
    return {SerialOpenProblem::kOther,
            "the lock file " + lock + " remains from a program that has ended" +
                (pid > 0 ? " (process " + std::to_string(pid) + ")" : std::string()) +
                ". Remove it with: " + (own ? "" : "sudo ") + "rm " + ShellWord(lock) +
                " and start this program again"};
  }
  return {SerialOpenProblem::kOther, {}};
}

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

std::string SerialOpenRemedy(SerialOpenProblem problem, const std::string& device) {
  switch (problem) {
    case SerialOpenProblem::kNoSuchDevice:
    case SerialOpenProblem::kNotASerialDevice: {
      std::string text = "Is the adapter plugged in and the detector switched on?";
      const std::vector<std::string> present = PresentSerialDevices();
      if (present.empty()) {
        text += "\n\nNo serial device is present.";
      } else {
        text += "\n\nSerial devices present:";
        for (const std::string& other : present) text += "\n    " + other;
      }
      return text + "\n\nThis program was built for " + device +
             "; to use another device, build it with -DPHA_SERIAL_PORT1=<device> (see the "
             "README).";
    }
    case SerialOpenProblem::kPermissionDenied:
      return PermissionRemedy(device);
    case SerialOpenProblem::kBusy:
      return "Another program holds it (fuser -v " + ShellWord(device) +
             " names it): close that program, then try again.";
    case SerialOpenProblem::kTooManyFiles: {
      rlimit limit{};
      getrlimit(RLIMIT_NOFILE, &limit);
      return "The program may have only " + std::to_string(limit.rlim_cur) +
             " files open (ulimit -n); start it where the limit is higher, as a desktop session "
             "sets it (1024 or more).";
    }
    case SerialOpenProblem::kOther:
      return {};
  }
  return {};
}

}  // namespace pha
