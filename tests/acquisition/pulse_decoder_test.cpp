// The pulse decoder against a scripted port: what one frame does, and the
// title log's cut. fuzz/decoder_fuzzer.cpp checks random streams in random
// chunks against an independent decoding: realignment, partial frames,
// notifications of other kinds, counts near their limit.
#include "acquisition/pulse_decoder.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "support/fakes.h"

namespace pha {
namespace {

using Counts = std::map<int, std::int32_t>;  // channel -> count, where not 1

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

Counts NotOne(const Spectrum& spectrum) {
  Counts counts;
  for (int i = 0; i < kSpectrumChannels; ++i)
    if (spectrum[i] != 1) counts[i] = spectrum[i];
  return counts;
}

Counts Twos(int first, int last) {
  Counts counts;
  for (int i = first; i <= last; ++i) counts[i] = 2;
  return counts;
}

TEST(GetPls, AcceptsChannelsTenTo1023AndCountsIntoTheMeasurementOnlyWhileRunning) {
  struct Case {
    int channel;
    std::string title;
    Flag run;
    Counts smt;  // the nine channels around an accepted pulse, while running
  };
  const Case cases[] = {
      {9, "(9) FrmQor", Flag::True, {}},
      {10, "10 FrmQor", Flag::True, Twos(6, 14)},
      {1023, "1023 FrmQor", Flag::True, Twos(1019, 1027)},
      {1024, "(1024) FrmQor", Flag::True, {}},
      {512, "512 FrmQor", Flag::False, {}},  // per second only
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    const bool accepted = c.title.front() != '(';
    const bool counted = accepted && c.run == Flag::True;
    Rig rig(c.run);
    rig.state.CntSec = 3, rig.state.SumSec = 40, rig.state.CntTot = 5, rig.state.SumTot = 600;
    rig.port.PushFrame(c.channel);
    EXPECT_EQ(rig.decoder.GetPls(), accepted);
    EXPECT_EQ(rig.window.caption, c.title);
    EXPECT_TRUE(rig.port.waiting.empty());
    EXPECT_EQ(rig.state.CntSec, accepted ? 4 : 3);
    EXPECT_EQ(rig.state.SumSec, 40 + (accepted ? c.channel : 0));
    EXPECT_EQ(rig.state.CntTot, counted ? 6 : 5);
    EXPECT_EQ(rig.state.SumTot, 600 + (counted ? c.channel : 0));
    EXPECT_EQ(NotOne(rig.state.SpcSmp), (counted ? Counts{{c.channel, 2}} : Counts{}));
    EXPECT_EQ(NotOne(rig.state.SpcSmt), c.smt);
    EXPECT_EQ(NotOne(rig.state.SpcRef), Counts{});
  }
}

TEST(TitleLog, PutsEachEntryInFrontOfTheFirst250CharactersOfTheOldTitle) {
  const std::string x250(250, 'x');
  const auto repeat = [](const std::string& text, int times) {
    std::string out;
    while (times-- > 0) out += text;
    return out;
  };
  const std::string star = "\u2605";  // three bytes, one character
  const std::pair<std::string, std::string> cases[] = {
      {x250 + "y", "10 " + x250},
      {" " + repeat(star + " ", 200), "10  " + repeat(star + " ", 124) + star},
      {repeat(star, 300), "10 " + repeat(star, 250)},
  };
  for (const auto& [old_title, title_after] : cases) {
    Rig rig(Flag::True);
    rig.window.caption = old_title;
    rig.port.PushFrame(10);
    rig.decoder.MSComm1_OnComm();
    EXPECT_EQ(rig.window.caption, title_after);
  }
}

}  // namespace
}  // namespace pha
