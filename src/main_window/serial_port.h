// The serial port operations the pulse decoder needs of serial port 1.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace pha {

// A platform operation that could not be carried out (a port that will not
// open, say). The message names what failed and why.
class PlatformError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class SerialPort {
 public:
  // The event code of a data-received notification.
  static constexpr int kEvReceive = 2;

  virtual ~SerialPort() = default;

  // Set-up; each takes effect from the opening on. Throws PlatformError for a
  // port number or setting the platform does not have.
  virtual void SetCommPort(int number) = 0;
  // Line settings in the form "19200,N,8,1".
  virtual void SetSettings(std::string_view settings) = 0;
  // Reads return the received bytes unaltered.
  virtual void SetInputModeBinary() = 0;
  // How many bytes one Input() takes.
  virtual void SetInputLen(int bytes) = 0;
  // Notify when at least this many bytes are waiting.
  virtual void SetRThreshold(int bytes) = 0;
  // Opens the port. Throws PlatformError naming the device and the system's
  // reason when it cannot be opened.
  virtual void Open() = 0;

  // The event code of the notification being handled.
  virtual int CommEvent() const = 0;
  // Received bytes not yet read, current at the moment of asking.
  virtual int InBufferCount() const = 0;
  // Takes exactly the next InputLen bytes, in arrival order, into `out`
  // (which holds at least that many). Only called with that many waiting.
  virtual void Input(std::span<std::uint8_t> out) = 0;
};

}  // namespace pha
