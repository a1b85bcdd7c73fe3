// The pulse decoder against a scripted port: set-up, validation, counting,
// the title log and realignment of the byte stream.
#include "acquisition/pulse_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
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

std::size_t Utf8Chars(const std::string& text) {
  std::size_t chars = 0;
  for (const char c : text) chars += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return chars;
}

const std::string kStar = "\u2605";  // three bytes, one character

TEST(PortSetUp, SetsEverySettingInOrderThenOpens) {
  fakes::ScriptedSerialPort port;
  pha::SetUpPort(port);
  EXPECT_EQ(port.log,
            (std::vector<std::string>{"CommPort=1", "Settings=19200,N,8,1", "InputMode=Binary",
                                      "InputLen=2", "RThreshold=2", "Open"}));
}

TEST(GetPls, AcceptsChannelsTenTo1023AndSmoothesOverTheNineAround) {
  struct Case {
    Bytes bytes;
    int channel;
    std::string title;
    Counts smt;  // empty when rejected
  };
  const Case cases[] = {
      {{0x09, 0x00}, 9, "(9) FrmQor", {}},
      {{0x0A, 0x00}, 10, "10 FrmQor", Window(6, 14)},
      {{0xFF, 0x03}, 1023, "1023 FrmQor", Window(1019, 1027)},
      {{0x00, 0x04}, 1024, "(1024) FrmQor", {}},
      {{0x00, 0x01}, 256, "256 FrmQor", Window(252, 260)},
      {{0x00, 0x00}, 0, "(0) FrmQor", {}},
      {{0xFF, 0xFF}, 65535, "(65535) FrmQor", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    const bool accepted = !c.smt.empty();
    Rig rig;
    rig.port.Push({c.bytes[0], c.bytes[1]});
    EXPECT_EQ(rig.decoder.GetPls(), accepted);
    EXPECT_EQ(rig.window.Caption(), c.title);
    EXPECT_TRUE(rig.port.waiting.empty());
    EXPECT_EQ(rig.state.CntSec, accepted ? 1 : 0);
    EXPECT_EQ(rig.state.SumSec, accepted ? c.channel : 0);
    EXPECT_EQ(rig.state.CntTot, accepted ? 1 : 0);
    EXPECT_EQ(NonUnit(rig.state.SpcSmp), (accepted ? Counts{{c.channel, 2}} : Counts{}));
    EXPECT_EQ(NonUnit(rig.state.SpcSmt), c.smt);
  }
}

TEST(PulseDecoder, Channel512CountsPerSecondAlwaysAndIntoTheMeasurementOnlyWhileRunning) {
  struct Case {
    Flag run;
    std::int64_t cnt_tot, sum_tot;
    Counts smp, smt;
  };
  const Case cases[] = {
      {Flag::True, 6, 1112, {{512, 2}}, Window(508, 516)},
      {Flag::False, 5, 600, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.run));
    Rig rig(c.run);
    rig.state.CntSec = 3, rig.state.SumSec = 40, rig.state.CntTot = 5, rig.state.SumTot = 600;
    rig.state.TimMes = 9;
    rig.Deliver({0x00, 0x02});
    EXPECT_EQ(rig.window.Caption(), "512 FrmQor");
    EXPECT_EQ(rig.state.CntSec, 4);
    EXPECT_EQ(rig.state.SumSec, 552);
    EXPECT_EQ(rig.state.CntTot, c.cnt_tot);
    EXPECT_EQ(rig.state.SumTot, c.sum_tot);
    EXPECT_EQ(NonUnit(rig.state.SpcSmp), c.smp);
    EXPECT_EQ(NonUnit(rig.state.SpcSmt), c.smt);
    EXPECT_EQ(NonUnit(rig.state.SpcRef), Counts{});
    EXPECT_EQ(rig.state.TimMes, 9);
    EXPECT_EQ(rig.state.FlgRun, c.run);
  }
}

TEST(TitleLog, PutsEachEntryInFrontOfTheFirst250CharactersOfTheOldTitle) {
  struct Case {
    std::string old_title, title_after;
  };
  const std::string x249(249, 'x'), x250(250, 'x'), x251(251, 'x');
  const Case cases[] = {
      {"FrmQor", "10 FrmQor"},
      {x249, "10 " + x249},
      {x250, "10 " + x250},
      {x251, "10 " + x250},
      // A star is one character of three bytes: the cut counts characters.
      {Repeat(kStar + " ", 200), "10 " + Repeat(kStar + " ", 125)},
      {" " + Repeat(kStar + " ", 200), "10  " + Repeat(kStar + " ", 124) + kStar},
      {Repeat(kStar, 300), "10 " + Repeat(kStar, 250)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.old_title.size());
    Rig rig;
    rig.window.SetCaption(c.old_title);
    rig.Deliver({0x0A, 0x00});
    EXPECT_EQ(rig.window.Caption(), c.title_after);
  }
}

TEST(TitleLog, NewestEntryComesFirst) {
  Rig rig;
  rig.Deliver({0x00, 0x02, 0xF2, 0x01});
  EXPECT_EQ(rig.window.Caption(), "498 512 FrmQor");
}

TEST(TitleLog, EntriesPushTheInitialTitleOut) {
  const std::pair<int, std::string> cases[] = {{49, Repeat("1000 ", 49) + "FrmQor"},
                                               {50, Repeat("1000 ", 50) + "FrmQo"},
                                               {51, Repeat("1000 ", 51)},
                                               {80, Repeat("1000 ", 51)}};
  for (const auto& [frames, title] : cases) {
    SCOPED_TRACE(frames);
    Rig rig;
    for (int i = 0; i < frames; ++i) rig.Deliver({0xE8, 0x03});
    EXPECT_EQ(rig.window.Caption(), title);
  }
}

TEST(TitleLog, NeverLongerThan258Characters) {
  // 0xFF bytes: every pair is rejected as (65535), each followed by a star.
  Rig rig;
  std::size_t longest = 0;
  for (int i = 0; i < 400; ++i) {
    rig.Deliver({0xFF});
    longest = std::max(longest, Utf8Chars(rig.window.Caption()));
  }
  EXPECT_EQ(longest, 258U);
  EXPECT_EQ(rig.window.Caption().find("FrmQor"), std::string::npos);
  EXPECT_EQ(rig.state.CntSec, 0);
}

// Realignment: the title, newest first, and the channels that were counted.
struct StreamCase {
  Bytes bytes;
  std::string title;
  Counts smp;
};

void ExpectDecodes(const StreamCase& c) {
  Rig rig;
  rig.Deliver(c.bytes);
  EXPECT_EQ(rig.window.Caption(), c.title);
  EXPECT_EQ(NonUnit(rig.state.SpcSmp), c.smp);
  EXPECT_EQ(rig.state.CntSec, static_cast<std::int32_t>(c.smp.size()));
  EXPECT_EQ(rig.decoder.FlgSkp(), Flag::False);
}

TEST(Resynchronisation, AfterALostByteAPairWithNextLowByte1To3IsAcceptedMisaligned) {
  const std::string tail = "200 \u2605 (25601) ";
  // The first byte is the high byte of a frame whose low byte was lost; then
  // frames q + 256, 100 and 200.
  const StreamCase cases[] = {
      {{0x00, 0x01, 0x01, 0x64, 0x00, 0xC8, 0x00}, tail + "256 FrmQor", {{256, 2}, {200, 2}}},
      {{0x03, 0x01, 0x01, 0x64, 0x00, 0xC8, 0x00}, tail + "259 FrmQor", {{259, 2}, {200, 2}}},
      {{0x00, 0x02, 0x01, 0x64, 0x00, 0xC8, 0x00}, tail + "512 FrmQor", {{512, 2}, {200, 2}}},
      {{0x03, 0x02, 0x01, 0x64, 0x00, 0xC8, 0x00}, tail + "515 FrmQor", {{515, 2}, {200, 2}}},
      {{0x00, 0x03, 0x01, 0x64, 0x00, 0xC8, 0x00}, tail + "768 FrmQor", {{768, 2}, {200, 2}}},
      {{0x03, 0x03, 0x01, 0x64, 0x00, 0xC8, 0x00}, tail + "771 FrmQor", {{771, 2}, {200, 2}}},
      // Low byte 4 or more: rejected at once; the discard realigns on 400.
      {{0x00, 0x2C, 0x01, 0x90, 0x01}, "400 \u2605 (11264) FrmQor", {{400, 2}}},
  };
  for (const StreamCase& c : cases) {
    SCOPED_TRACE(c.title);
    ExpectDecodes(c);
  }
}

TEST(Resynchronisation, AnInvalidFrameCostsTheTwoFramesAfterIt) {
  // 100, the invalid frame, 300 and 400 (lost), 500, 600.
  const std::pair<Bytes, std::string> invalid[] = {{{0x00, 0x00}, "(0)"},
                                                   {{0x09, 0x00}, "(9)"},
                                                   {{0x00, 0x04}, "(1024)"},
                                                   {{0xD0, 0x07}, "(2000)"},
                                                   {{0xFF, 0xFF}, "(65535)"}};
  for (const auto& [frame, entry] : invalid) {
    Bytes bytes = {0x64, 0x00};
    bytes.insert(bytes.end(), frame.begin(), frame.end());
    bytes.insert(bytes.end(), {0x2C, 0x01, 0x90, 0x01, 0xF4, 0x01, 0x58, 0x02});
    SCOPED_TRACE(entry);
    ExpectDecodes({bytes,
                   "600 500 \u2605 (36865) \u2605 " + entry + " 100 FrmQor",
                   {{100, 2}, {500, 2}, {600, 2}}});
  }
}

TEST(PulseDecoder, ReadsWholeFramesOnlyAndAnOddByteWaitsForTheNext) {
  struct Case {
    Bytes bytes;
    int reads;
    std::string title, completed_title;  // after the notification; after one more byte
  };
  const Case cases[] = {{{}, 0, "FrmQor", "FrmQor"},
                        {{0x64}, 0, "FrmQor", "100 FrmQor"},
                        {{0x64, 0x00, 0xC8}, 1, "100 FrmQor", "200 100 FrmQor"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes.size());
    Rig rig;
    rig.Deliver(c.bytes);
    EXPECT_EQ(rig.port.reads, c.reads);
    EXPECT_EQ(rig.port.waiting.size(), c.bytes.size() % 2);
    EXPECT_EQ(rig.window.Caption(), c.title);
    if (c.bytes.empty()) continue;
    rig.Deliver({0x00});
    EXPECT_EQ(rig.window.Caption(), c.completed_title);
    EXPECT_TRUE(rig.port.waiting.empty());
  }
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
  for (const int event : {0, 1, 3, 4, 1001, -2}) {
    SCOPED_TRACE(event);
    Rig rig;
    rig.port.event = event;
    rig.Deliver({0x00, 0x02, 0xF2, 0x01});
    EXPECT_EQ(rig.port.reads, 0);
    EXPECT_EQ(rig.port.waiting.size(), 4U);
    EXPECT_EQ(rig.window.Caption(), "FrmQor");
    EXPECT_EQ(rig.state.CntSec, 0);
    rig.port.event = pha::SerialPort::kEvReceive;
    rig.Deliver({});
    EXPECT_EQ(rig.window.Caption(), "498 512 FrmQor");
  }
}

TEST(PulseDecoder, SameBytesInAnyChunksDecodeAlike) {
  // A lost byte, an invalid frame, and an invalid frame followed by one byte.
  const Bytes stream = {0x03, 0x01, 0x02, 0x64, 0x00, 0xC8, 0x00, 0x64, 0x00, 0xD0, 0x07,
                        0x2C, 0x01, 0x90, 0x01, 0xF4, 0x01, 0x58, 0x02, 0x00, 0x00, 0x0A};
  const std::string title =
      "(0) 600 500 \u2605 (36865) \u2605 (2000) 100 200 \u2605 (25602) 259 FrmQor";
  const Counts smp = {{100, 2}, {200, 2}, {259, 2}, {500, 2}, {600, 2}};
  const auto n = stream.size();
  Counts smt;
  for (const auto& entry : smp)
    for (int k = -4; k <= 4; ++k) smt[entry.first + k] = 2;
  const auto decode = [&](const std::vector<std::size_t>& cuts) -> ::testing::AssertionResult {
    Rig rig;
    std::size_t from = 0;
    for (const std::size_t to : cuts) {
      rig.Deliver(Bytes(stream.begin() + from, stream.begin() + to));
      from = to;
    }
    if (rig.window.Caption() == title && NonUnit(rig.state.SpcSmp) == smp &&
        NonUnit(rig.state.SpcSmt) == smt && rig.state.CntSec == 5 && rig.state.SumSec == 1659 &&
        rig.decoder.FlgSkp() == Flag::True && rig.port.waiting.size() == 1)
      return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure() << "title \"" << rig.window.Caption()
                                                 << "\", SumSec " << rig.state.SumSec << ", cuts";
    for (const std::size_t cut : cuts) failure << ' ' << cut;
    return failure;
  };
  for (std::size_t i = 0; i <= n; ++i)
    for (std::size_t j = i; j <= n; ++j) ASSERT_TRUE(decode({i, j, n}));
  std::vector<std::size_t> each_byte;
  for (std::size_t i = 1; i <= n; ++i) each_byte.push_back(i);
  EXPECT_TRUE(decode(each_byte));
}

TEST(Saturation, SpectrumChannelsStopAtTheLimit) {
  struct Case {
    pha::Spectrum pha::MeasurementState::*spectrum;
    int channel;
    std::int32_t preset;
  };
  const Case cases[] = {{&pha::MeasurementState::SpcSmp, 512, kLimit},
                        {&pha::MeasurementState::SpcSmp, 512, kLimit - 1},
                        {&pha::MeasurementState::SpcSmt, 508, kLimit},
                        {&pha::MeasurementState::SpcSmt, 512, kLimit - 1},
                        {&pha::MeasurementState::SpcSmt, 516, kLimit}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.channel);
    Rig rig;
    (rig.state.*c.spectrum)[c.channel] = c.preset;
    rig.Deliver({0x00, 0x02, 0x00, 0x02});  // two pulses in 512
    Counts smp = {{512, 3}};
    Counts smt = Window(508, 516, 3);
    (c.spectrum == &pha::MeasurementState::SpcSmp ? smp : smt)[c.channel] = kLimit;
    EXPECT_EQ(NonUnit(rig.state.SpcSmp), smp);
    EXPECT_EQ(NonUnit(rig.state.SpcSmt), smt);
    EXPECT_EQ(rig.state.CntTot, 2);
    EXPECT_EQ(rig.state.SumTot, 1024);
  }
}

TEST(Saturation, PerSecondCountersStopAtTheLimit) {
  struct Case {
    std::int32_t cnt, sum;
    Bytes frame;
    std::int32_t cnt_after, sum_after;
  };
  const Case cases[] = {
      {kLimit, 0, {0x00, 0x02}, kLimit, 512},     {kLimit - 1, 0, {0x00, 0x02}, kLimit, 512},
      {0, kLimit, {0x00, 0x02}, 1, kLimit},       {0, kLimit - 511, {0x00, 0x02}, 1, kLimit},
      {0, kLimit - 512, {0x00, 0x02}, 1, kLimit}, {0, kLimit - 513, {0x00, 0x02}, 1, kLimit - 1},
      {5, kLimit - 10, {0xFF, 0x03}, 6, kLimit},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.cnt << " " << c.sum);
    Rig rig(Flag::False);
    rig.state.CntSec = c.cnt, rig.state.SumSec = c.sum;
    rig.Deliver(c.frame);
    EXPECT_EQ(rig.state.CntSec, c.cnt_after);
    EXPECT_EQ(rig.state.SumSec, c.sum_after);
  }
}

TEST(Saturation, MeasurementTotalsPassTwoToThe31) {
  struct Case {
    std::int64_t cnt, sum, cnt_after, sum_after;
  };
  const std::int64_t k2p31 = std::int64_t{1} << 31;
  const Case cases[] = {{kLimit, kLimit - 100, k2p31, std::int64_t{kLimit} + 923},
                        {7, k2p31 - 1, 8, k2p31 + 1022},
                        {7, 85'000'000'000, 8, 85'000'001'023}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sum);
    Rig rig;
    rig.state.CntTot = c.cnt, rig.state.SumTot = c.sum;
    rig.Deliver({0xFF, 0x03});
    EXPECT_EQ(rig.state.CntTot, c.cnt_after);
    EXPECT_EQ(rig.state.SumTot, c.sum_after);
    EXPECT_EQ(NonUnit(rig.state.SpcSmp), (Counts{{1023, 2}}));
  }
}

}  // namespace
