// What the system can tell about serial devices, for messages that say what
// to do: why a device will not open, and which devices are present.
#pragma once

#include <string>
#include <vector>

namespace pha {

enum class SerialOpenProblem { kNoSuchDevice, kPermissionDenied, kBusy, kNotASerialDevice, kOther };

struct SerialOpenDiagnosis {
  SerialOpenProblem problem = SerialOpenProblem::kOther;
  std::string reason;  // the system's words, e.g. "permission denied"
};

// Opens `device` the way a port would, without making it a controlling
// terminal and without keeping it, and tells why a port on it would not
// open. A device that opens here and is a terminal gives kOther: what held
// the port back lies beyond the open (another program's lock, say).
SerialOpenDiagnosis DiagnoseSerialOpen(const std::string& device);

// The serial devices present: /dev/ttyUSB*, /dev/ttyACM*, the /dev/ttyS*
// with a UART behind them, and the links in /dev/serial/by-id.
std::vector<std::string> PresentSerialDevices();

// What the operator can do about `problem` with `device`, in a sentence or
// two; empty where there is nothing to advise.
std::string SerialOpenRemedy(SerialOpenProblem problem, const std::string& device);

}  // namespace pha
