// The pulse decoder against a scripted port: validation, counting, the title
// log and realignment of the byte stream (the port's set-up is in
// txt_cmt_test.cpp). fuzz/decoder_fuzzer.cpp
// checks random streams, cut into random chunks, channel by channel against
// an independent decoding; these are the sharp cases, with their titles.
#include "acquisition/pulse_decoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "support/fakes.h"

namespace {

namespace fakes = pha::testing;
using pha::Flag;
using Bytes = std::vector<std::uint8_t>;
using Counts = std::map<int, std::int32_t>;  // channel -> count, for counts other than 1
constexpr std::int32_t kLimit = 2'147'483'647;

// A decoder on its own port and title, spectra at 1 as after a reset.
struct Rig {
  explicit Rig(Flag run = Flag::True) {
    state.SpcSmp.fill(1);
    state.SpcSmt.fill(1);
    state.SpcRef.fill(1);
    state.FlgRun = run;
  }
  // The bytes arrive, then one data-received notification.
  void Deliver(const Bytes& bytes) {
    port.waiting.insert(port.waiting.end(), bytes.begin(), bytes.end());
    decoder.MSComm1_OnComm();
  }
  fakes::ScriptedSerialPort port;
  fakes::FakeWindow window;  // title "FrmQor"
  pha::MeasurementState state;
  pha::PulseDecoder decoder{port, window, state};
};

Counts NonUnit(const pha::Spectrum& spectrum) {
  Counts counts;
  for (int i = 0; i < pha::kSpectrumChannels; ++i)
    if (spectrum[i] != 1) counts[i] = spectrum[i];
  return counts;
}

Counts Window(int first, int last, std::int32_t count = 2) {
  Counts counts;
  for (int i = first; i <= last; ++i) counts[i] = count;
  return counts;
}

std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

const std::string kStar = "\u2605";  // three bytes, one character

TEST(GetPls, AcceptsChannelsTenTo1023AndCountsIntoTheMeasurementOnlyWhileRunning) {
  struct Case {
    Bytes bytes;
    int channel;
    std::string title;
    Flag run;
    Counts smt;  // the nine channels around an accepted pulse, while running
  };
  const Case cases[] = {
      {{0x09, 0x00}, 9, "(9) FrmQor", Flag::True, {}},
      {{0x0A, 0x00}, 10, "10 FrmQor", Flag::True, Window(6, 14)},
      {{0xFF, 0x03}, 1023, "1023 FrmQor", Flag::True, Window(1019, 1027)},
      {{0x00, 0x04}, 1024, "(1024) FrmQor", Flag::True, {}},
      {{0x00, 0x02}, 512, "512 FrmQor", Flag::False, {}},  // per second only
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    const bool accepted = c.title.front() != '(';
    const bool counted = accepted && c.run == Flag::True;
    Rig rig(c.run);
    rig.state.CntSec = 3, rig.state.SumSec = 40, rig.state.CntTot = 5, rig.state.SumTot = 600;
    rig.state.TimMes = 9;
    rig.port.Push({c.bytes[0], c.bytes[1]});
    EXPECT_EQ(rig.decoder.GetPls(), accepted);
    EXPECT_EQ(rig.window.Caption(), c.title);
    EXPECT_TRUE(rig.port.waiting.empty());
    EXPECT_EQ(rig.state.CntSec, accepted ? 4 : 3);
    EXPECT_EQ(rig.state.SumSec, 40 + (accepted ? c.channel : 0));
    EXPECT_EQ(rig.state.CntTot, counted ? 6 : 5);
    EXPECT_EQ(rig.state.SumTot, 600 + (counted ? c.channel : 0));
    EXPECT_EQ(NonUnit(rig.state.SpcSmp), (counted ? Counts{{c.channel, 2}} : Counts{}));
    EXPECT_EQ(NonUnit(rig.state.SpcSmt), c.smt);
    EXPECT_EQ(NonUnit(rig.state.SpcRef), Counts{});
    EXPECT_EQ(rig.state.TimMes, 9);
    EXPECT_EQ(rig.state.FlgRun, c.run);
  }
}

TEST(TitleLog, PutsEachEntryInFrontOfTheFirst250CharactersOfTheOldTitle) {
  const std::string x250(250, 'x');
  const std::pair<std::string, std::string> cases[] = {
      {x250, "10 " + x250},
      {x250 + "y", "10 " + x250},
      // A star is one character of three bytes: the cut counts characters.
      {" " + Repeat(kStar + " ", 200), "10  " + Repeat(kStar + " ", 124) + kStar},
      {Repeat(kStar, 300), "10 " + Repeat(kStar, 250)},
  };
  for (const auto& [old_title, title_after] : cases) {
    SCOPED_TRACE(old_title.size());
    Rig rig;
    rig.window.SetCaption(old_title);
    rig.Deliver({0x0A, 0x00});
    EXPECT_EQ(rig.window.Caption(), title_after);
  }
}

TEST(Resynchronisation, AfterALostByteOrAnInvalidFrame) {
  struct Case {
    Bytes bytes;
    std::string title;  // newest entry first
    Counts smp;
  };
  const std::string tail = "200 \u2605 (25601) ";
  const Case cases[] = {
      // The first byte is the high byte of a frame whose low byte was lost;
      // then frames q + 256, 100 and 200. With q, the next low byte, 1 to 3
      // the misaligned pair passes as a pulse.
      {{0x00, 0x01, 0x01, 0x64, 0x00, 0xC8, 0x00}, tail + "256 FrmQor", {{256, 2}, {200, 2}}},
      {{0x03, 0x03, 0x01, 0x64, 0x00, 0xC8, 0x00}, tail + "771 FrmQor", {{771, 2}, {200, 2}}},
      // Low byte 4 or more: rejected at once; the discard realigns on 400.
      {{0x00, 0x2C, 0x01, 0x90, 0x01}, "400 \u2605 (11264) FrmQor", {{400, 2}}},
      // 100, an invalid frame, 300 and 400 (lost), 500, 600.
      {{0x64, 0x00, 0xFF, 0xFF, 0x2C, 0x01, 0x90, 0x01, 0xF4, 0x01, 0x58, 0x02},
       "600 500 \u2605 (36865) \u2605 (65535) 100 FrmQor",
       {{100, 2}, {500, 2}, {600, 2}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    Rig rig;
    rig.Deliver(c.bytes);
    EXPECT_EQ(rig.window.Caption(), c.title);
    EXPECT_EQ(NonUnit(rig.state.SpcSmp), c.smp);
    EXPECT_EQ(rig.state.CntSec, static_cast<std::int32_t>(c.smp.size()));
    EXPECT_EQ(rig.decoder.FlgSkp(), Flag::False);
  }
}

TEST(PulseDecoder, ReadsWholeFramesOnlyAndAnOddByteWaitsForTheNext) {
  Rig rig;
  rig.Deliver({0x64});
  EXPECT_EQ(rig.port.reads, 0);
  EXPECT_EQ(rig.window.Caption(), "FrmQor");
  rig.Deliver({0x00, 0xC8});  // three bytes waiting
  EXPECT_EQ(rig.port.reads, 1);
  EXPECT_EQ(rig.port.waiting.size(), 1U);
  EXPECT_EQ(rig.window.Caption(), "100 FrmQor");
  rig.Deliver({0x00});
  EXPECT_EQ(rig.window.Caption(), "200 100 FrmQor");
  EXPECT_TRUE(rig.port.waiting.empty());
}

TEST(PulseDecoder, DiscardWaitsForTwoBytesAcrossNotifications) {
  Rig rig;
  rig.Deliver({0x00, 0x00, 0x90});  // rejected (0), then one byte alone
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(rig.decoder.FlgSkp(), Flag::True);
    EXPECT_EQ(rig.port.waiting.size(), 1U);
    EXPECT_EQ(rig.window.Caption(), "(0) FrmQor");
    rig.Deliver({});
  }
  rig.Deliver({0x2C, 0x01});  // 0x90 is discarded; 0x2C 0x01 is 300
  EXPECT_EQ(rig.window.Caption(), "300 \u2605 (0) FrmQor");
  EXPECT_EQ(rig.decoder.FlgSkp(), Flag::False);
  EXPECT_EQ(NonUnit(rig.state.SpcSmp), (Counts{{300, 2}}));
}

TEST(PulseDecoder, NotificationsOtherThanDataReceivedReadNothing) {
  for (const int event : {0, 3}) {
    SCOPED_TRACE(event);
    Rig rig;
    rig.port.event = event;
    rig.Deliver({0x00, 0x02, 0xF2, 0x01});
    EXPECT_EQ(rig.port.reads, 0);
    EXPECT_EQ(rig.window.Caption(), "FrmQor");
    rig.port.event = pha::SerialPort::kEvReceive;
    rig.Deliver({});
    EXPECT_EQ(rig.window.Caption(), "498 512 FrmQor");
  }
}

TEST(Saturation, ChannelsAndPerSecondCountersStopAtTheLimit) {
  Rig rig;
  rig.state.SpcSmp[512] = kLimit - 1;  // reaches the limit with the first pulse
  rig.state.SpcSmt[508] = kLimit;      // the edges of the smoothing window
  rig.state.SpcSmt[516] = kLimit - 1;
  rig.state.CntSec = kLimit - 1, rig.state.SumSec = kLimit - 1000;
  rig.Deliver({0x00, 0x02, 0x00, 0x02});  // two pulses in 512
  Counts smt = Window(508, 516, 3);
  smt[508] = smt[516] = kLimit;
  EXPECT_EQ(NonUnit(rig.state.SpcSmp), (Counts{{512, kLimit}}));
  EXPECT_EQ(NonUnit(rig.state.SpcSmt), smt);
  EXPECT_EQ(rig.state.CntTot, 2);
  EXPECT_EQ(rig.state.SumTot, 1024);
  EXPECT_EQ(rig.state.CntSec, kLimit);
  EXPECT_EQ(rig.state.SumSec, kLimit);  // kLimit - 488 after the first pulse
}

}  // namespace
