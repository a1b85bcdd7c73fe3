#include "platform/serial/lock_files.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <set>

namespace pha {
namespace {

std::string LockName(const std::string& device) {
  std::string name = device.starts_with("/dev/") ? device.substr(5) : device;
  std::replace(name.begin(), name.end(), '/', '_');
  return "LCK.." + name;
}

// The process number at the start of the file, blanks before it allowed
// (the classic form and Qt's alike); 0 where there is none.
long LockHolder(const std::string& path) {
  std::ifstream file(path);
  long pid = 0;
  return file >> pid && pid > 0 ? pid : 0;
}

std::string ProcessName(long pid) {
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

// The lock files of the open ports, removed at any end of the process: one
// left behind would keep every other account off the line until root
// removes it. An end through exit() (Qt's when the display server goes
// away, say) runs no destructor of the window that owns the port, and Qt's
// objects may no longer be touched then; the system releases the device
// itself.
std::set<const std::string*>& Registry() {
  // Never destroyed: it is read after the destructors of statics have run.
  static auto* const registry = new std::set<const std::string*>;
  return *registry;
}

void RemoveOwnLockFilesAtExit() {
  for (const std::string* path : Registry())
    if (!path->empty() && LockHolder(*path) == getpid()) unlink(path->c_str());
}

}  // namespace

std::vector<std::string> SerialLockFiles(const std::string& device) {
  std::vector<std::string> paths = {"/var/lock",         "/etc/locks", "/var/spool/locks",
                                    "/var/spool/uucp",   "/tmp",       "/var/tmp",
                                    "/var/lock/lockdev", "/run/lock"};
  if (const char* tmp = std::getenv("TMPDIR"); tmp != nullptr && *tmp != '\0')
    paths.emplace_back(tmp);
  const std::string name = LockName(device);
  for (std::string& path : paths) path.append("/").append(name);
  return paths;
}

std::optional<SerialLock> FindSerialLock(const std::string& device) {
  for (const std::string& path : SerialLockFiles(device)) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    SerialLock lock{path, LockHolder(path), false, {}, info.st_uid == getuid()};
    if (lock.pid > 0) {
      lock.alive = kill(static_cast<pid_t>(lock.pid), 0) == 0 || errno == EPERM;
      if (lock.alive) lock.program = ProcessName(lock.pid);
    }
    return lock;
  }
  return std::nullopt;
}

OwnLockFile::OwnLockFile() {
  static std::once_flag registered;
  std::call_once(registered, [] { std::atexit(RemoveOwnLockFilesAtExit); });
  Registry().insert(&path_);
}

OwnLockFile::~OwnLockFile() { Registry().erase(&path_); }

void OwnLockFile::Find(const std::string& device) {
  path_.clear();
  for (const std::string& path : SerialLockFiles(device)) {
    if (LockHolder(path) == getpid()) {
      path_ = path;
      return;
    }
  }
}

}  // namespace pha
