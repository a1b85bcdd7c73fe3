#include "measurement/run_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "measurement_rig.h"

namespace pha::testing {
namespace {

using RunControlTest = MeasurementRig;

TEST_F(RunControlTest, TenSecondRunShowsEachSecondAndStopsOnTheEleventhTick) {
  Click();
  for (int second = 1; second <= 10; ++second) {
    Tick();
    ASSERT_EQ(state.FlgRun, Flag::True) << second;
    EXPECT_EQ(LblTim.caption, second < 10 ? "00:00:0" + std::to_string(second) : "00:00:10");
  }
  const int writes = MeasurementLabelWrites();
  Tick();
  EXPECT_EQ(state.FlgRun, Flag::False);
  EXPECT_EQ(state.TimMes, 10);
  EXPECT_EQ(CmdRun.caption, "Run");
  EXPECT_EQ(CmdRun.back_color, kButtonFaceColour);
  EXPECT_EQ(LblRtmCpm.caption, "0 CPM");  // the meter still updates
  EXPECT_EQ(MeasurementLabelWrites(), writes);
}

// The line's full rate, every pulse in the top channel: SumTot passes 2^31
// after about 36 minutes. txt_cmt_test.cpp feeds the same day through the
// decoder.
TEST_F(RunControlTest, TwentyFourHourRunAtFullRateRollsOverToMidnightThenStops) {
  const auto second = [this] {
    Pulses(960, 1023);
    Tick();
  };
  CmbTmr.SetListIndex(k24Hour);
  Click();
  for (int tick = 1; tick <= 86399; ++tick) second();
  EXPECT_EQ(Shown(), (Texts{"82943040 COUNT", "57600 CPM", "23:59:59", "122,760 nGy"}));
  second();
  const Texts midnight{"82944000 COUNT", "57600 CPM", "00:00:00", "122,760 nGy"};
  EXPECT_EQ(Shown(), midnight);
  EXPECT_EQ(state.FlgRun, Flag::True);
  second();
  EXPECT_EQ(state.FlgRun, Flag::False);
  EXPECT_EQ(Shown(), midnight);
  // Pulses count until the tick that stops the run.
  EXPECT_EQ(state.SumTot, std::int64_t{960 * 1023} * 86401);
}

TEST_F(RunControlTest, PresetChangeDuringRunAppliesFromTheNextTick) {
  CmbTmr.SetListIndex(k1Min);
  Click();
  for (int i = 0; i < 30; ++i) Tick();
  CmbTmr.SetListIndex(k10Sec);  // below the elapsed time
  EXPECT_EQ(state.FlgRun, Flag::True);
  Tick();
  EXPECT_EQ(state.FlgRun, Flag::False);
  EXPECT_EQ(LblTim.caption, "00:00:30");
}

TEST_F(RunControlTest, StopKeepsEverythingAndStartResetsTotalsAtOnceLabelsOnTheFirstTick) {
  Click();
  for (int i = 0; i < 3; ++i) {
    Pulses(5, 80);
    Tick();
  }
  Pulses(4, 200);  // after the last tick: counted, not yet shown
  const Texts shown{"15 COUNT", "300 CPM", "00:00:03", "50 nGy"};
  ASSERT_EQ(Shown(), shown);

  Click();
  for (int i = 0; i < 3; ++i) {
    Pulses(7, 300);  // while idle: the real-time figures only
    Tick();
  }
  EXPECT_EQ(CmdRun.caption, "Run");
  EXPECT_EQ(state.TimMes, 3);
  EXPECT_EQ(state.CntTot, 19);
  EXPECT_EQ(state.SumTot, 15 * 80 + 4 * 200);
  EXPECT_EQ(state.SpcSmp[80], 16);
  EXPECT_EQ(state.SpcSmp[200], 5);
  EXPECT_EQ(state.SpcSmp[300], 1);
  EXPECT_EQ(Shown(), shown);

  state.SpcRef[500] = 42;  // as loaded from a file
  PicGrp.calls.clear();
  Click();
  EXPECT_EQ(state.TimMes, 0);
  EXPECT_EQ(state.CntTot, 0);
  EXPECT_EQ(state.SumTot, 0);
  EXPECT_EQ(state.SpcSmp[80], 1);
  EXPECT_EQ(state.SpcRef[500], 1);
  EXPECT_EQ(state.SpcSmt[84], 1);
  EXPECT_FALSE(PicGrp.calls.empty()) << "the cleared spectra are drawn at once";
  EXPECT_EQ(Shown(), shown);

  Tick();
  EXPECT_EQ(Shown(), (Texts{"0 COUNT", "0 CPM", "00:00:01", "0 nGy"}));
}

TEST_F(RunControlTest, OnlyTheExactCaptionRunStarts) {
  const struct {
    const char* caption;
    bool starts;
  } rows[] = {{"Run", true}, {"run", false}, {"Run ", false}, {"Stop", false}, {"", false}};
  for (const auto& row : rows) {
    CmdRun.caption = row.caption;
    CmdRun.back_color = 0;
    state.FlgRun = row.starts ? Flag::False : Flag::True;
    state.CntTot = 5;
    Click();
    EXPECT_EQ(CmdRun.caption, row.starts ? "Stop" : "Run") << '"' << row.caption << '"';
    EXPECT_EQ(CmdRun.back_color, row.starts ? kRunningColour : kButtonFaceColour);
    EXPECT_EQ(state.FlgRun, row.starts ? Flag::True : Flag::False);
    EXPECT_EQ(state.CntTot, row.starts ? 0 : 5);
  }
}

TEST_F(RunControlTest, ShowsCountAverageCpmTimeAndDose) {
  const struct {
    std::int64_t CntTot;
    std::int64_t SumTot;
    std::int32_t TimMes;  // after the tick
    LocaleSeparators locale;
    Texts shown;
  } rows[] = {
      {150, 12000, 10, {}, {"150 COUNT", "900 CPM", "00:00:10", "150 nGy"}},
      {1, 80, 7, {}, {"1 COUNT", "9 CPM", "00:00:07", "1 nGy"}},
      // CntTot / TimMes first, then x 60: 122.49999999999999, not 122.5.
      {49, 0, 24, {}, {"49 COUNT", "122 CPM", "00:00:24", "0 nGy"}},
      {0, 1000000, 10, {}, {"0 COUNT", "0 CPM", "00:00:10", "12,500 nGy"}},
      {0, 1000000, 10, {".", "."}, {"0 COUNT", "0 CPM", "00.00.10", "12.500 nGy"}},
  };
  CmbTmr.SetListIndex(k24Hour);
  for (const auto& row : rows) {
    locale = row.locale;
    CmdRun.caption = "Run";
    Click();
    state.TimMes = row.TimMes - 1;
    state.CntTot = row.CntTot;
    state.SumTot = row.SumTot;
    Tick();
    EXPECT_EQ(Shown(), row.shown);
  }
}

}  // namespace
}  // namespace pha::testing
