// Random byte streams, cut into random chunks, through the serial
// notification handler with a measurement running. Checks what the decoder
// must keep true whatever the line brings, not only that it does not crash.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <deque>
#include <numeric>
#include <span>
#include <string>

#include "acquisition/pulse_decoder.h"
#include "acquisition/title_log.h"
#include "fuzz/require.h"
#include "main_window/serial_port.h"
#include "main_window/window_ops.h"

namespace {

using namespace pha;

using pha::fuzz::Require;

class ChunkedPort final : public SerialPort {
 public:
  void SetCommPort(int) override {}
  void SetSettings(std::string_view) override {}
  void SetInputModeBinary() override {}
  void SetInputLen(int bytes) override { len_ = bytes; }
  void SetRThreshold(int) override {}
  void Open() override {}
  int CommEvent() const override { return event; }
  int InBufferCount() const override { return static_cast<int>(waiting.size()); }
  void Input(std::span<std::uint8_t> out) override {
    Require(static_cast<int>(waiting.size()) >= len_, "read with too few bytes waiting");
    for (int i = 0; i < len_; ++i) {
      out[static_cast<std::size_t>(i)] = waiting.front();
      waiting.pop_front();
    }
  }
  std::deque<std::uint8_t> waiting;
  int event = kEvReceive;

 private:
  int len_ = 2;
};

// Splits every new title into its entry and the kept old text, and counts
// the entries by kind.
class CheckedTitle final : public Window {
 public:
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
      ++accepted;
      channel_sum += channel;
    }
    caption_ = std::move(text);
  }
  std::int64_t accepted = 0, rejected = 0, discards = 0, channel_sum = 0;

 private:
  std::string caption_ = "FrmQor";
};

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
  ChunkedPort port;
  CheckedTitle title;
  MeasurementState state;
  state.SpcSmp.fill(1);
  state.SpcSmt.fill(1);
  state.FlgRun = Flag::True;
  PulseDecoder decoder(port, title, state);
  std::vector<std::uint8_t> stream;

  while (input.remaining_bytes() > 0) {
    const auto chunk = input.ConsumeIntegralInRange<std::size_t>(0, 40);
    const std::vector<std::uint8_t> bytes = input.ConsumeBytes<std::uint8_t>(chunk);
    port.waiting.insert(port.waiting.end(), bytes.begin(), bytes.end());
    stream.insert(stream.end(), bytes.begin(), bytes.end());
    // Now and then a notification of another kind, which reads nothing.
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
  const auto accepted = static_cast<std::int64_t>(expected.channels.size());
  Require(title.accepted == accepted, "accepted frames differ from the stream's");
  Require(title.rejected == expected.rejected, "rejected frames differ from the stream's");
  Require(title.discards == expected.discards, "discarded bytes differ from the stream's");
  Require(state.CntTot == accepted && state.CntSec == accepted, "counts differ");
  Spectrum sample{};
  Spectrum smoothed{};
  sample.fill(1);
  smoothed.fill(1);
  std::int64_t sum = 0;
  for (const int n : expected.channels) {
    ++sample[n];
    for (int k = -4; k <= 4; ++k) ++smoothed[n + k];
    sum += n;
  }
  Require(state.SumTot == sum && title.channel_sum == sum, "channel sums differ");
  Require(state.SpcSmp == sample, "sample spectrum differs channel by channel");
  Require(state.SpcSmt == smoothed, "smoothed spectrum differs channel by channel");
  Require(port.waiting.size() == (stream.size() - 2 * (title.accepted + title.rejected) -
                                  static_cast<std::size_t>(title.discards)),
          "bytes left waiting differ from the bytes not consumed");
  return 0;
}
