#include "acquisition/pulse_decoder.h"

#include <array>
#include <charconv>
#include <string_view>

#include "acquisition/title_log.h"
#include "main_window/serial_port.h"

namespace pha {
namespace {

constexpr int kFrameBytes = 2;

// "n " for an accepted channel, "(n) " for a rejected value: plain decimal
// digits, at most 5 of them (65535).
class TitleEntry {
 public:
  TitleEntry(int value, bool rejected) {
    char* p = buffer_.data();
    if (rejected) *p++ = '(';
    p = std::to_chars(p, buffer_.data() + buffer_.size(), value).ptr;
    if (rejected) *p++ = ')';
    *p++ = ' ';
    size_ = static_cast<std::size_t>(p - buffer_.data());
  }
  std::string_view view() const { return {buffer_.data(), size_}; }

 private:
  std::array<char, 8> buffer_{};
  std::size_t size_ = 0;
};

}  // namespace

void SetUpPort(SerialPort& MSComm1) {
  MSComm1.SetCommPort(1);
  MSComm1.SetSettings("19200,N,8,1");
  MSComm1.SetInputModeBinary();
  MSComm1.SetInputLen(kFrameBytes);
  MSComm1.SetRThreshold(kFrameBytes);
  MSComm1.Open();
}

void PulseDecoder::MSComm1_OnComm() {
  if (MSComm1_.CommEvent() != SerialPort::kEvReceive) return;
  // The discard, like a frame, waits for two bytes although it takes one.
  while (MSComm1_.InBufferCount() >= kFrameBytes) {
    if (FlgSkp_ == Flag::False) {
      if (!GetPls()) FlgSkp_ = Flag::True;
    } else {
      DiscardByte();
    }
  }
}

void PulseDecoder::DiscardByte() {
  std::array<std::uint8_t, 1> byte{};
  MSComm1_.SetInputLen(1);
  MSComm1_.Input(byte);
  PrependToTitle(TxtCmt_, kDiscardEntry);
  FlgSkp_ = Flag::False;
}

bool PulseDecoder::GetPls() {
  std::array<std::uint8_t, kFrameBytes> bytes{};
  MSComm1_.SetInputLen(kFrameBytes);
  MSComm1_.Input(bytes);
  const int n = PulseFrame{bytes[0], bytes[1]}.Channel();

  if (!IsValidChannel(n)) {
    PrependToTitle(TxtCmt_, TitleEntry(n, true).view());
    return false;
  }
  // Logged before anything is counted.
  PrependToTitle(TxtCmt_, TitleEntry(n, false).view());

  // The per-second counters are cleared every second and cannot come near
  // their limit on a 960 frames/s line; they saturate all the same.
  AddOneSaturating(state_.CntSec);
  AddSaturating(state_.SumSec, n);
  if (state_.FlgRun == Flag::False) return true;

  ++state_.CntTot;
  state_.SumTot += n;
  AddOneSaturating(state_.SpcSmp[n]);
  for (int k = -4; k <= 4; ++k) AddOneSaturating(state_.SpcSmt[n + k]);
  ++state_.spectra_changes;
  return true;
}

}  // namespace pha
