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
  PicGrp.calls.clear();
  Click();
  EXPECT_EQ(state.TimMes, 0);
  EXPECT_EQ(state.CntTot, 0);
  EXPECT_EQ(state.SumTot, 0);
  for (const Spectrum* spectrum : {&state.SpcSmp, &state.SpcSmt, &state.SpcRef})
    EXPECT_EQ(std::count(spectrum->begin(), spectrum->end(), 1), kSpectrumChannels);
  EXPECT_FALSE(PicGrp.calls.empty()) << "the cleared spectra are drawn at once";
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
