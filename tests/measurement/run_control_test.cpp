#include "measurement/run_control.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "measurement_rig.h"

namespace pha::testing {
namespace {

using RunControlTest = MeasurementRig;

TEST_F(RunControlTest, TenSecondRunShowsEachSecondAndStopsOnTheEleventhTick) {
  Click();
  for (int second = 1; second <= 10; ++second) {
    Pulses(2, 100);
    Tick();
    ASSERT_EQ(state.FlgRun, Flag::True) << second;
    EXPECT_EQ(LblTim.caption, second < 10 ? "00:00:0" + std::to_string(second) : "00:00:10");
  }
  const Texts last = Shown();
  Pulses(2, 100);  // counted until the tick that stops the run
  Tick();
  EXPECT_EQ(state.FlgRun, Flag::False);
  EXPECT_EQ(CmdRun.caption, "Run");
  EXPECT_EQ(CmdRun.back_color, kButtonFaceColour);
  EXPECT_EQ(state.CntTot, 22);
  EXPECT_EQ(Shown(), last);
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
  const MeasurementState stopped = state;
  EXPECT_EQ(state.TimMes, 3);
  EXPECT_EQ(state.CntTot, 19);
  EXPECT_EQ(state.SpcSmp[80], 16);
  EXPECT_EQ(state.SpcSmp[300], 1);
  EXPECT_EQ(Shown(), shown);

  state.SpcRef[500] = 42;  // as loaded from a file
  PicGrp.drawings = 0;
  Click();
  EXPECT_EQ(state.TimMes, 0);
  EXPECT_EQ(state.CntTot, 0);
  EXPECT_EQ(state.SumTot, 0);
  for (const Spectrum* spectrum : {&state.SpcSmp, &state.SpcSmt, &state.SpcRef})
    EXPECT_EQ(std::count(spectrum->begin(), spectrum->end(), 1), kSpectrumChannels);
  EXPECT_GT(PicGrp.drawings, 0) << "the cleared spectra are drawn at once";
  EXPECT_EQ(Shown(), shown);
  EXPECT_NE(state.spectra_changes, stopped.spectra_changes);
  Tick();
  EXPECT_EQ(Shown(), (Texts{"0 COUNT", "0 CPM", "00:00:01", "0 nGy"}));
}

TEST_F(RunControlTest, ShowsCountAverageCpmTimeAndDose) {
  const std::string nnbsp = "\u202F";  // narrow no-break space
  const std::string dose = "12" + nnbsp + "500 nGy";
  const struct {
    std::int64_t CntTot;
    std::int64_t SumTot;
    std::int32_t TimMes;  // after the tick
    LocaleSeparators locale;
    Texts shown;
  } rows[] = {
      {150, 12000, 10, {}, {"150 COUNT", "900 CPM", "00:00:10", "150 nGy"}},
      // CntTot / TimMes first, then x 60: 122.49999999999999, not 122.5.
      {49, 0, 24, {}, {"49 COUNT", "122 CPM", "00:00:24", "0 nGy"}},
      // Separators as some locales have them: a three-byte one for thousands.
      {1234567, 1000000, 10, {nnbsp, "."}, {"1234567 COUNT", "7407402 CPM", "00.00.10", dose}},
      {0, 0, 86400, {}, {"0 COUNT", "0 CPM", "00:00:00", "0 nGy"}},
      {0, 0, 86399, {}, {"0 COUNT", "0 CPM", "23:59:59", "0 nGy"}},
      {60, 0, 3600, {}, {"60 COUNT", "1 CPM", "01:00:00", "0 nGy"}},
      // Halves, away from zero: 7.5 CPM and 2.5 nGy; 12499.5 nGy.
      {1, 160, 8, {}, {"1 COUNT", "8 CPM", "00:00:08", "3 nGy"}},
      {0, 199992, 2, {}, {"0 COUNT", "0 CPM", "00:00:02", "12,500 nGy"}},
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

// A tick that comes late stands for every second since the last one, read
// from the monotonic clock.
TEST_F(RunControlTest, ALateTickCountsEverySecondItStandsFor) {
  struct Second {
    std::int64_t after_ms;
    int pulses;  // in channel 80, during the time before the tick
  };
  const std::vector<Second> seven_seconds(7, Second{1000, 10});
  const auto then = [&](std::vector<Second> ticks) {
    ticks.insert(ticks.begin(), seven_seconds.begin(), seven_seconds.end());
    return ticks;
  };
  const struct {
    const char* what;
    std::vector<Second> ticks;
    Texts shown;
    const char* real_time;  // LblRtmCpm
    bool running;
  } rows[] = {
      {"on time, give or take", {{950, 10}, {1049, 10}, {1000, 10}},
       {"30 COUNT", "600 CPM", "00:00:03", "100 nGy"}, "163 CPM", true},
      // Seven seconds at 600 CPM, whichever way they came: 600 (1 - 0.9^7).
      {"one tick 5 s late", {{1000, 10}, {6000, 60}},
       {"70 COUNT", "600 CPM", "00:00:07", "100 nGy"}, "313 CPM", true},
      // The preset passes within the stall: the labels show all 12 s and
      // their pulses, and the next tick stops the run.
      {"the preset inside a stall", then({{5000, 50}}),
       {"120 COUNT", "600 CPM", "00:00:12", "100 nGy"}, "431 CPM", true},
      {"... and the next tick", then({{5000, 50}, {1000, 10}}),
       {"120 COUNT", "600 CPM", "00:00:12", "100 nGy"}, "447 CPM", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    meter = RateMeter{};
    seconds = TickSeconds{};
    Click();
    ASSERT_EQ(state.FlgRun, Flag::True);
    for (const Second& tick : row.ticks) {
      Pulses(tick.pulses, 80);
      Tick(tick.after_ms);
    }
    EXPECT_EQ(Shown(), row.shown);
    EXPECT_EQ(LblRtmCpm.caption, row.real_time);
    EXPECT_EQ(state.FlgRun == Flag::True, row.running);
    CmdRun.caption = "Stop";
    Click();
  }
}

}  // namespace
}  // namespace pha::testing
