// Why serial port 1 will not open, and what the operator can do about it:
// the words of the start-up message and of the reopening after a re-plug.
#pragma once

#include <optional>
#include <string>

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

// Before `device` is opened: where a lock file names another process that
// runs, the line is that program's (kBusy, naming it and its number).
std::optional<SerialOpenDiagnosis> HeldByLockFile(const std::string& device);

// Opens `device` (the one device the program is built for) the way a port
// would, without making it a controlling terminal and without keeping it,
// and tells why a port on it would not open. A device that opens here and is
// a terminal gives kOther with no reason: what held the port back lies beyond
// the open (a lock file, say; see DiagnoseSerialLock).
SerialOpenDiagnosis DiagnoseSerialOpen(const std::string& device);

// Where the open found the device free but the port still would not open:
// the lock file that serial programs leave for `device`, whether its process
// still runs, and what to do about it. An empty reason when there is no such
// file.
SerialOpenDiagnosis DiagnoseSerialLock(const std::string& device);

// What the operator can do about `problem` with `device`, in a sentence or
// a few lines; empty where there is nothing to advise.
std::string SerialOpenRemedy(SerialOpenProblem problem, const std::string& device);

}  // namespace pha
