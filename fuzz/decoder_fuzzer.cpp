// Random byte streams, cut into random chunks, through the serial
// notification handler, with the measurement starting and stopping between
// chunks and counts that sometimes start at their limit. After every
// notification the title, the bytes left waiting and, at the end, every
// count and every channel are checked against an independent decoding.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "acquisition/pulse_decoder.h"
#include "fuzz/require.h"
#include "tests/support/fakes.h"

namespace {

using namespace pha;

using pha::fuzz::Require;

// The model's own numbers, written out rather than taken from the code.
constexpr std::int64_t kLimit = 2'147'483'647;
constexpr int kChannels = 2001;
constexpr std::size_t kKeptCharacters = 250;

// Adds without passing the 32-bit limit: the model's own saturation.
std::int32_t Plus(std::int32_t count, std::int64_t amount) {
  return static_cast<std::int32_t>(std::min<std::int64_t>(count + amount, kLimit));
}

// The first `characters` characters of UTF-8 `text`, counted by the model
// itself: the title holds ASCII and the three-byte star (E2 98 85) only.
std::string FirstCharacters(const std::string& text, std::size_t characters) {
  std::size_t at = 0;
  for (std::size_t counted = 0; counted < characters && at < text.size(); ++counted)
    at += static_cast<unsigned char>(text[at]) == 0xE2 ? 3 : 1;
  return text.substr(0, at);
}

// What the stream must decode to: at each notification a pair is read while
// two bytes wait, and a rejected pair is followed by one discarded byte; each
// frame and each discarded byte goes in front of the title.
struct Model {
  void Notified(const std::vector<std::uint8_t>& stream, bool running) {
    while (stream.size() - at >= 2) {
      if (skip) {
        ++at;
        skip = false;
        Log("\xE2\x98\x85 ");
        continue;
      }
      const int n = stream[at] + 256 * stream[at + 1];
      at += 2;
      skip = n < 10 || n > 1023;
      Log(skip ? "(" + std::to_string(n) + ") " : std::to_string(n) + " ");
      if (!skip) accepted.push_back({n, running});
    }
  }
  void Log(const std::string& entry) { title = entry + FirstCharacters(title, kKeptCharacters); }

  std::size_t at = 0;
  bool skip = false;
  std::string title = "FrmQor";
  std::vector<std::pair<int, bool>> accepted;  // channel, and whether a measurement ran
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  testing::ScriptedSerialPort port;  // throws on a read with too few bytes waiting
  testing::FakeWindow window;
  MeasurementState state;
  // Now and then every count starts a few pulses short of the 32-bit limit.
  const std::int32_t start =
      input.ConsumeIntegralInRange(0, 7) == 0
          ? static_cast<std::int32_t>(kLimit) - input.ConsumeIntegralInRange(0, 3)
          : input.ConsumeIntegralInRange(1, 1000);
  state.SpcSmp.fill(start);
  state.SpcSmt.fill(start);
  state.SpcRef.fill(start);
  state.CntSec = state.SumSec = start;
  PulseDecoder decoder(port, window, state);
  std::vector<std::uint8_t> stream;
  Model model;

  while (input.remaining_bytes() > 0) {
    const auto chunk = input.ConsumeIntegralInRange<std::size_t>(0, 40);
    const std::vector<std::uint8_t> bytes = input.ConsumeBytes<std::uint8_t>(chunk);
    port.waiting.insert(port.waiting.end(), bytes.begin(), bytes.end());
    stream.insert(stream.end(), bytes.begin(), bytes.end());
    // A measurement starts and stops between notifications; now and then a
    // notification is of another kind, which reads nothing.
    state.FlgRun = input.ConsumeBool() ? Flag::True : Flag::False;
    port.event = input.ConsumeIntegralInRange<int>(0, 15) == 0 ? 1 : 2;  // 2: data received
    decoder.MSComm1_OnComm();
    if (port.event == 2) model.Notified(stream, state.FlgRun == Flag::True);
    Require(window.caption == model.title, "the title differs from the stream's decoding");
    Require(port.waiting.size() == stream.size() - model.at, "other bytes left waiting");
  }

  Spectrum sample;
  Spectrum smoothed;
  sample.fill(start);
  smoothed.fill(start);
  std::int64_t counted = 0, counted_sum = 0, sum = 0;
  for (const auto& [n, running] : model.accepted) {
    sum += n;
    if (!running) continue;
    ++counted;
    counted_sum += n;
    sample[n] = Plus(sample[n], 1);
    for (int k = -4; k <= 4; ++k) smoothed[n + k] = Plus(smoothed[n + k], 1);
  }
  const auto accepted = static_cast<std::int64_t>(model.accepted.size());
  Require(state.CntSec == Plus(start, accepted) && state.SumSec == Plus(start, sum),
          "per-second counts differ");
  Require(state.CntTot == counted && state.SumTot == counted_sum, "measurement totals differ");
  Require(state.SpcSmp == sample, "sample spectrum differs channel by channel");
  Require(state.SpcSmt == smoothed, "smoothed spectrum differs channel by channel");
  Require(std::count(state.SpcRef.begin(), state.SpcRef.end(), start) == kChannels,
          "the reference changed");
  return 0;
}
