// Random byte streams, cut into random chunks, through the serial
// notification handler, with the measurement starting and stopping between
// chunks and counts that sometimes start at their limit. Checks what the
// decoder must keep true whatever the line brings, not only that it does not
// crash: channel by channel against an independent decoding.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "acquisition/pulse_decoder.h"
#include "acquisition/title_log.h"
#include "fuzz/require.h"
#include "main_window/window_ops.h"
#include "tests/support/fakes.h"

namespace {

using namespace pha;

using pha::fuzz::Require;

// Splits every new title into its entry and the kept old text, and counts
// the entries by kind; an accepted channel is noted with the run flag at the
// moment it is logged, which is when the decoder reads it.
class CheckedTitle final : public Window {
 public:
  explicit CheckedTitle(const MeasurementState& state) : state_(state) {}
  const std::string& Caption() const override { return caption_; }
  void SetCaption(std::string text) override {
    const std::size_t kept = Utf8PrefixBytes(caption_, kTitleKeptChars);
    Require(text.size() >= kept, "title lost its old text");
    const std::string entry = text.substr(0, text.size() - kept);
    Require(text.compare(entry.size(), std::string::npos, caption_, 0, kept) == 0,
            "old title not kept behind the entry");
    Require(Utf8PrefixBytes(text, 258) == text.size() && Utf8PrefixBytes(text, 259) == text.size(),
            "title beyond 258 characters");
    if (entry == kDiscardEntry) {
      ++discards;
    } else if (entry.front() == '(') {
      ++rejected;
    } else {
      const int channel = std::atoi(entry.c_str());
      Require(entry == std::to_string(channel) + " ", "malformed entry");
      Require(channel >= 10 && channel <= 1023, "accepted channel outside 10..1023");
      channels.push_back(channel);
      running.push_back(state_.FlgRun == Flag::True);
    }
    caption_ = std::move(text);
  }
  std::int64_t rejected = 0, discards = 0;
  std::vector<int> channels;
  std::vector<bool> running;

 private:
  const MeasurementState& state_;
  std::string caption_ = "FrmQor";
};

// Adds without passing the 32-bit limit: the model's own saturation.
std::int32_t Plus(std::int32_t count, std::int64_t amount) {
  return static_cast<std::int32_t>(std::min<std::int64_t>(count + amount, kCountLimit));
}

// What the stream must decode to, worked out on the whole byte sequence at
// once: a pair is read while two bytes remain; a rejected pair is followed by
// one discarded byte. How the bytes were cut into notifications must not
// matter.
struct Expected {
  std::vector<int> channels;
  std::int64_t rejected = 0;
  std::int64_t discards = 0;
};

Expected Decode(const std::vector<std::uint8_t>& bytes) {
  Expected expected;
  bool skip = false;
  for (std::size_t at = 0; bytes.size() - at >= 2;) {
    if (skip) {
      ++at;
      ++expected.discards;
      skip = false;
      continue;
    }
    const int n = bytes[at] + 256 * bytes[at + 1];
    at += 2;
    if (n >= 10 && n <= 1023) {
      expected.channels.push_back(n);
    } else {
      ++expected.rejected;
      skip = true;
    }
  }
  return expected;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  testing::ScriptedSerialPort port;  // throws on a read with too few bytes waiting
  MeasurementState state;
  CheckedTitle title(state);
  // Now and then every count starts a few pulses short of the 32-bit limit.
  const std::int32_t start = input.ConsumeIntegralInRange(0, 7) == 0
                                 ? kCountLimit - input.ConsumeIntegralInRange(0, 3)
                                 : input.ConsumeIntegralInRange(1, 1000);
  state.SpcSmp.fill(start);
  state.SpcSmt.fill(start);
  state.SpcRef.fill(start);
  state.CntSec = state.SumSec = start;
  PulseDecoder decoder(port, title, state);
  std::vector<std::uint8_t> stream;

  while (input.remaining_bytes() > 0) {
    const auto chunk = input.ConsumeIntegralInRange<std::size_t>(0, 40);
    const std::vector<std::uint8_t> bytes = input.ConsumeBytes<std::uint8_t>(chunk);
    port.waiting.insert(port.waiting.end(), bytes.begin(), bytes.end());
    stream.insert(stream.end(), bytes.begin(), bytes.end());
    // A measurement starts and stops between notifications; now and then a
    // notification is of another kind, which reads nothing.
    state.FlgRun = input.ConsumeBool() ? Flag::True : Flag::False;
    port.event = input.ConsumeIntegralInRange<int>(0, 15) == 0 ? 1 : SerialPort::kEvReceive;
    const std::size_t before = port.waiting.size();
    decoder.MSComm1_OnComm();
    if (port.event != SerialPort::kEvReceive)
      Require(port.waiting.size() == before, "read on a non-data event");
    else
      Require(port.waiting.size() < 2, "complete frame left waiting");
  }

  // A last notification of received data drains what the others left.
  port.event = SerialPort::kEvReceive;
  decoder.MSComm1_OnComm();

  const Expected expected = Decode(stream);
  Require(title.channels == expected.channels, "accepted frames differ from the stream's");
  Require(title.rejected == expected.rejected, "rejected frames differ from the stream's");
  Require(title.discards == expected.discards, "discarded bytes differ from the stream's");
  Spectrum sample;
  Spectrum smoothed;
  sample.fill(start);
  smoothed.fill(start);
  std::int64_t counted = 0, counted_sum = 0, sum = 0;
  for (std::size_t i = 0; i < title.channels.size(); ++i) {
    const int n = title.channels[i];
    sum += n;
    if (!title.running[i]) continue;
    ++counted;
    counted_sum += n;
    sample[n] = Plus(sample[n], 1);
    for (int k = -4; k <= 4; ++k) smoothed[n + k] = Plus(smoothed[n + k], 1);
  }
  const auto accepted = static_cast<std::int64_t>(title.channels.size());
  Require(state.CntSec == Plus(start, accepted) && state.SumSec == Plus(start, sum),
          "per-second counts differ");
  Require(state.CntTot == counted && state.SumTot == counted_sum, "measurement totals differ");
  Require(state.SpcSmp == sample, "sample spectrum differs channel by channel");
  Require(state.SpcSmt == smoothed, "smoothed spectrum differs channel by channel");
  Require(std::count(state.SpcRef.begin(), state.SpcRef.end(), start) == kSpectrumChannels,
          "the reference changed");
  Require(port.waiting.size() == (stream.size() - 2 * (title.channels.size() + title.rejected) -
                                  static_cast<std::size_t>(title.discards)),
          "bytes left waiting differ from the bytes not consumed");
  return 0;
}
