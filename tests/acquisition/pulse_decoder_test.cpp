// The pulse decoder against a scripted port: what one frame does, and the
// title log's cut. fuzz/decoder_fuzzer.cpp checks random streams in random
// chunks against an independent decoding: realignment, partial frames,
// notifications of other kinds, the run flag, counts near their limit.
#include "acquisition/pulse_decoder.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>

#include "support/fakes.h"

namespace pha {
namespace {

using Counts = std::map<int, std::int32_t>;  // channel -> count, where not 1

Counts NotOne(const Spectrum& spectrum) {
  Counts counts;
  for (int i = 0; i < kSpectrumChannels; ++i)
    if (spectrum[i] != 1) counts[i] = spectrum[i];
  return counts;
}

struct Rig {
  explicit Rig(Flag run) {
    state.SpcSmp.fill(1);
    state.SpcSmt.fill(1);
    state.SpcRef.fill(1);
    state.FlgRun = run;
  }
  testing::ScriptedSerialPort port;
  testing::FakeWindow window;
  MeasurementState state;
  PulseDecoder decoder{port, window, state};
};

// The edges of the accepted range and a pulse while idle; the decoder fuzz
// target checks random streams with the measurement starting and stopping.
TEST(GetPls, AcceptsChannelsTenTo1023AndCountsIntoTheMeasurementOnlyWhileRunning) {
  const struct {
    int channel;
    bool accepted;
    Flag run;
  } cases[] = {{9, false, Flag::True},
               {10, true, Flag::True},
               {1023, true, Flag::True},
               {1024, false, Flag::True},
               {512, true, Flag::False}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.channel);
    const bool counted = c.accepted && c.run == Flag::True;
    Rig rig(c.run);
    rig.state.CntSec = 3, rig.state.SumSec = 40, rig.state.CntTot = 5, rig.state.SumTot = 600;
    rig.port.PushFrame(c.channel);
    EXPECT_EQ(rig.decoder.GetPls(), c.accepted);
    const std::string digits = std::to_string(c.channel);
    const std::string entry = c.accepted ? digits + " " : std::string("(") + digits + ") ";
    EXPECT_EQ(rig.window.caption, entry + "FrmQor");
    const int taken = c.accepted ? c.channel : 0, measured = counted ? c.channel : 0;
    EXPECT_EQ(std::tuple(rig.state.CntSec, rig.state.SumSec, rig.state.CntTot, rig.state.SumTot),
              std::tuple(taken ? 4 : 3, 40 + taken, measured ? 6 : 5, 600 + measured));
    EXPECT_EQ(NotOne(rig.state.SpcSmp), (counted ? Counts{{c.channel, 2}} : Counts{}));
    Counts smoothed;  // the nine channels around the pulse
    for (int k = -4; counted && k <= 4; ++k) smoothed[c.channel + k] = 2;
    EXPECT_EQ(NotOne(rig.state.SpcSmt), smoothed);
    EXPECT_EQ(NotOne(rig.state.SpcRef), Counts{});
  }
}

}  // namespace
}  // namespace pha
