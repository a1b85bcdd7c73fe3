// Decoding of the detector's pulse stream on serial port 1.
//
// The detector sends one PulseFrame per pulse: two bytes, the channel number
// little-endian, no header and no checksum. Channels 10..1023 are valid. The
// decoder keeps itself aligned by rejecting implausible channels and, after
// each rejection, discarding one byte.
#pragma once

#include <cstdint>

#include "acquisition/measurement_state.h"

namespace pha {

class SerialPort;
class Window;

// The wire format of one pulse, detector to program.
struct PulseFrame {
  std::uint8_t low = 0;  // received first
  std::uint8_t high = 0;

  constexpr int Channel() const { return low + 256 * high; }
};

constexpr bool IsValidChannel(int channel) {
  return channel >= kMinValidChannel && channel <= kMaxValidChannel;
}

// Configures serial port 1 for the detector line and opens it, one setting
// after the other: port 1, "19200,N,8,1", binary input, read length 2,
// notification threshold 2, open. Throws PlatformError when the port cannot
// be configured or opened.
void SetUpPort(SerialPort& MSComm1);

class PulseDecoder {
 public:
  PulseDecoder(SerialPort& MSComm1, Window& TxtCmt, MeasurementState& state)
      : MSComm1_(MSComm1), TxtCmt_(TxtCmt), state_(state) {}

  // The port's notification handler: drains every complete frame waiting.
  void MSComm1_OnComm();

  // Reads one frame, logs it in the title and counts it. Returns false when
  // the frame was rejected. Only called with at least 2 bytes waiting.
  bool GetPls();

 private:
  void DiscardByte();

  SerialPort& MSComm1_;
  Window& TxtCmt_;
  MeasurementState& state_;
  // True while one byte has to be discarded before the next frame is read.
  // Kept across notifications for the life of the program.
  Flag FlgSkp_ = Flag::False;
};

}  // namespace pha
