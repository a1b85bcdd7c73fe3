// The window's start-up and event handlers against plain fakes.
#include "main_window/txt_cmt.h"

#include <gtest/gtest.h>

#include "support/fakes.h"

namespace pha {
namespace {

using namespace pha::testing;

struct Window {
  FakeWindow title;
  FakeLabel rtm_cpm{"0 CPM"}, rtm_dose{"0 nGy"}, tim{"00:00:00"}, cnt{"0 COUNT"}, cpm{"0 CPM"},
      dose{"nGy"};
  RecordingSurface meter{81, 21};
  RecordingSurface plot;
  FakeComboBox presets{{{"10 sec", 10}, {"1 min", 60}, {"24 hour", 86400}}};
  FakeButton run;
  ScriptedSerialPort port;
  FakeMessages messages;
  NoFiles files;
  FakeClock clock;
  TxtCmt logic{{title, rtm_cpm, rtm_dose, meter, presets, run, tim, cnt, cpm, dose, plot, port,
                messages, files, clock, LocaleSeparators{}}};
};

TEST(TxtCmt, FormLoadOpensThePortLastThenSelectsTenSecondsResetsAndDrawsTwice) {
  Window w;
  w.logic.State().SpcRef.fill(0);
  w.logic.Form_Load();
  EXPECT_EQ(w.port.log,
            (std::vector<std::string>{"CommPort=1", "Settings=19200,N,8,1", "InputMode=Binary",
                                      "InputLen=2", "RThreshold=2", "Open"}));
  EXPECT_EQ(w.presets.index, 0);
  const MeasurementState& state = w.logic.State();
  for (const Spectrum* spectrum : {&state.SpcSmp, &state.SpcSmt, &state.SpcRef})
    EXPECT_TRUE(std::all_of(spectrum->begin(), spectrum->end(), [](int c) { return c == 1; }));
  const auto clears = std::count_if(w.plot.calls.begin(), w.plot.calls.end(), [](auto& call) {
    return call.op == RecordingSurface::Op::Cls;
  });
  EXPECT_EQ(clears, 2);
  EXPECT_EQ(w.plot.calls.size(), 2U * (1 + 19 + 3303));
  EXPECT_EQ(state.FlgRun, Flag::False);
}

TEST(TxtCmt, AFailingPortEndsStartUpBeforeAnythingElseHappens) {
  struct FailingPort : ScriptedSerialPort {
    void Open() override { throw PlatformError("Cannot open serial port 1 (/dev/ttyS0): gone."); }
  };
  Window w;
  FailingPort port;
  TxtCmt logic{{w.title, w.rtm_cpm, w.rtm_dose, w.meter, w.presets, w.run, w.tim, w.cnt, w.cpm,
                w.dose, w.plot, port, w.messages, w.files, w.clock, LocaleSeparators{}}};
  EXPECT_THROW(logic.Form_Load(), PlatformError);
  EXPECT_EQ(w.presets.index, -1);
  EXPECT_TRUE(w.plot.calls.empty());
}

TEST(TxtCmt, TheDrawTickRedrawsTheWholePictureWhetherOrNotAMeasurementRuns) {
  Window w;
  w.logic.Form_Load();
  w.plot.calls.clear();
  w.logic.TimDraw_Timer();
  EXPECT_EQ(w.plot.calls.size(), 1U * (1 + 19 + 3303));
  w.logic.CmdRun_Click();  // its reset draws once more
  w.plot.calls.clear();
  w.logic.TimDraw_Timer();
  EXPECT_EQ(w.plot.calls.size(), 1U * (1 + 19 + 3303));
  EXPECT_EQ(w.logic.State().FlgRun, Flag::True);
}

}  // namespace
}  // namespace pha

namespace pha {
namespace {

// A whole "24 hour" run, tick by tick, with the decoder fed the line's
// maximum of 960 frames a second, every pulse in channel 1023: the channel
// sum passes 2^31 after 36 minutes and goes on to 8.5e10.
TEST(TxtCmt, ATwentyFourHourRunAtTheFullLineRateCountsEveryPulseToTheEnd) {
  constexpr int kFramesPerSecond = 960;
  constexpr std::int64_t kDay = 86400;
  Window w;
  w.logic.Form_Load();
  w.presets.SetListIndex(2);  // "24 hour"
  w.logic.CmdRun_Click();
  const MeasurementState& state = w.logic.State();

  std::vector<std::uint8_t> second;
  for (int i = 0; i < kFramesPerSecond; ++i) second.insert(second.end(), {0xFF, 0x03});
  for (std::int64_t tick = 1; tick <= kDay + 1; ++tick) {
    w.port.waiting.insert(w.port.waiting.end(), second.begin(), second.end());
    w.logic.MSComm1_OnComm();
    w.logic.Tim1s_Timer();
    if (tick == 2187) {
      EXPECT_GT(state.SumTot, std::int64_t{1} << 31);
    }
    if (tick == kDay - 1) {
      EXPECT_EQ(w.tim.caption, "23:59:59");
    }
    ASSERT_EQ(state.FlgRun, tick <= kDay ? Flag::True : Flag::False) << tick;
  }
  constexpr std::int64_t kPulses = (kDay + 1) * kFramesPerSecond;
  EXPECT_EQ(state.CntTot, kPulses);
  EXPECT_EQ(state.SumTot, kPulses * 1023);
  EXPECT_EQ(state.SpcSmp[1023], kPulses > kCountLimit ? kCountLimit : kPulses + 1);
  EXPECT_EQ(state.TimMes, kDay);
  // The labels as the last update left them, one tick before the stop.
  EXPECT_EQ(w.cnt.caption, "82944000 COUNT");
  EXPECT_EQ(w.cpm.caption, "57600 CPM");
  EXPECT_EQ(w.tim.caption, "00:00:00");
  EXPECT_EQ(w.dose.caption, "122,760 nGy");
  EXPECT_EQ(w.rtm_cpm.caption, "57600 CPM");
  EXPECT_EQ(w.rtm_dose.caption, "122,760 nGy");
  EXPECT_EQ(w.run.caption, "Run");
}

}  // namespace
}  // namespace pha
