// What the system can tell about serial devices, for messages that say what
// to do: why a device will not open, and which devices are present.
#pragma once

#include <string>
#include <vector>

namespace pha {

enum class SerialOpenProblem {
  kNoSuchDevice,
  kPermissionDenied,
  kBusy,
  kNotASerialDevice,
  kTooManyFiles,  // the process may open no more files (ulimit -n)
  kOther,
};

struct SerialOpenDiagnosis {
  SerialOpenProblem problem = SerialOpenProblem::kOther;
  std::string reason;  // the system's words, e.g. "permission denied"
};

// Opens `device` (the one device the program is built for) the way a port
// would, without making it a controlling terminal and without keeping it,
// and tells why a port on it would not open. A device that opens here and is
// a terminal gives kOther with no reason: what held the port back lies beyond
// the open (a lock file, say; see DiagnoseSerialLock).
SerialOpenDiagnosis DiagnoseSerialOpen(const std::string& device);

// Where the open found the device free but the port still would not open:
// the lock file that serial programs leave for `device` (LCK..name in the
// lock folders), whether its process still runs, and what to do about it.
// An empty reason when there is no such file.
SerialOpenDiagnosis DiagnoseSerialLock(const std::string& device);

// Where serial programs put the lock file of `device` (LCK..name in one of
// the lock folders); the process number a lock file holds (0: none); and
// the lock file of `device` that holds this process's number, if any.
std::vector<std::string> SerialLockFiles(const std::string& device);
long SerialLockHolder(const std::string& lock);
std::string OwnSerialLockFile(const std::string& device);

// The serial devices present, as the kernel publishes them, without opening
// any: /dev/ttyUSB*, /dev/ttyACM*, the /dev/ttyS* with a UART behind them
// (a non-zero type in /sys/class/tty/ttyS*/type, or where the kernel gives
// no type, a driver), and the links in /dev/serial/by-id. `root` is put in
// front of /sys and /dev (empty: the system's own).
std::vector<std::string> PresentSerialDevices(const std::string& root = {});

// What the operator can do about `problem` with `device`, in a sentence or
// a few lines; empty where there is nothing to advise.
std::string SerialOpenRemedy(SerialOpenProblem problem, const std::string& device);

}  // namespace pha
