#include "platform/serial/open_diagnosis.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <vector>

#include "main_window/shell_word.h"
#include "platform/posix/system_reason.h"
#include "platform/serial/lock_files.h"
#include "platform/serial/serial_devices.h"

namespace pha {
namespace {

std::string FileName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// "minicom, process 1234", or "process 1234" where the name is not known.
std::string Holder(const SerialLock& lock) {
  return (lock.program.empty() ? std::string() : lock.program + ", ") + "process " +
         std::to_string(lock.pid);
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

std::optional<SerialOpenDiagnosis> HeldByLockFile(const std::string& device) {
  const std::optional<SerialLock> lock = FindSerialLock(device);
  if (!lock || !lock->alive || lock->pid == getpid()) return std::nullopt;
  return SerialOpenDiagnosis{
      SerialOpenProblem::kBusy,
      "it is in use by " + Holder(*lock) + ", whose lock file " + lock->path + " claims it"};
}

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

SerialOpenDiagnosis DiagnoseSerialLock(const std::string& device) {
  const std::optional<SerialLock> lock = FindSerialLock(device);
  if (!lock) return {SerialOpenProblem::kOther, {}};
  if (lock->alive) return {SerialOpenProblem::kBusy, "it is in use by " + Holder(*lock)};
  const std::string remove_then_start = std::string(lock->own_account ? "" : "sudo ") + "rm " +
                              ShellWord(lock->path) + " and start this program again";
  if (lock->pid <= 0) {
    // Unreadable to this account, or no process number in it: its holder
    // may still run.
    return {SerialOpenProblem::kOther,
            "the lock file " + lock->path + " claims it, and this program cannot tell which " +
                "process wrote it (ls -l " + ShellWord(lock->path) +
                " shows the account). Once that program has ended, remove it with: " + remove_then_start};
  }
  return {SerialOpenProblem::kOther, "the lock file " + lock->path +
                                         " remains from a program that has ended (process " +
                                         std::to_string(lock->pid) +
                                         "). Remove it with: " + remove_then_start};
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
