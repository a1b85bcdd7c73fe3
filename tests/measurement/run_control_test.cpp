// Run/Stop and the one-second tick against plain fakes: each second's labels,
// a preset changed or passed, and ticks that come late, early or on schedule
// after a late one, with the real-time figures they give.
#include "measurement/run_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "acquisition/measurement_state.h"
#include "measurement/rate_meter.h"
#include "measurement/tick_seconds.h"
#include "support/fakes.h"

namespace pha::testing {
namespace {

// The controls of the two measurement groups as fakes, with the state and
// the rate meter, so that a test can click and tick without a window.
using Texts = std::vector<std::string>;

class RunControlTest : public ::testing::Test {
 protected:
  enum Preset { k10Sec, k1Min, k24Hour };  // the items of FakeComboBox

  // As the pulse decoder counts `count` pulses in `channel`.
  void Pulses(int count, int channel) {
    state.CntSec += count;
    state.SumSec += count * channel;
    if (state.FlgRun == Flag::False) return;
    state.CntTot += count;
    state.SumTot += std::int64_t{count} * channel;
    state.SpcSmp[static_cast<std::size_t>(channel)] += count;
  }
  void Click() { CmdRun_Click(state, run); }
  // A tick of the one-second timer `after_ms` after the last one, as the
  // window counts it.
  void Tick(std::int64_t after_ms = 1000) {
    monotonic.now_ms += after_ms;
    Tim1s_Timer(meter, state, meter_controls, run, seconds.Count(monotonic.now_ms));
  }
  // The four measurement labels, in display order.
  Texts Shown() const { return {LblCnt.caption, LblCpm.caption, LblTim.caption, LblDose.caption}; }

  void SetUp() override {
    CmbTmr.SetListIndex(k10Sec);
    IniMes(state, PicGrp);  // as at start-up
  }

  MeasurementState state;
  FakeButton CmdRun;
  FakeComboBox CmbTmr;
  FakeLabel LblCnt, LblCpm, LblTim, LblDose, LblRtmCpm, LblRtmDose;
  CountingSurface PicGrp;
  CountingSurface PicMtr{81, 21};
  LocaleSeparators locale;
  RunControls run{CmdRun, CmbTmr, LblCnt, LblCpm, LblTim, LblDose, PicGrp, locale};
  MeterControls meter_controls{LblRtmCpm, LblRtmDose, PicMtr, locale};
  RateMeter meter;
  TickSeconds seconds;
  FakeMonotonicClock monotonic;
};

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
  Tick();
  EXPECT_EQ(std::tuple(state.TimMes, state.CntTot, state.SpcSmp[80]), std::tuple(3, 19, 16));
  EXPECT_EQ(Shown(), shown);

  state.SpcRef[500] = 42;  // as loaded from a file
  PicGrp.drawings = 0;
  Click();
  EXPECT_EQ(std::tuple(state.TimMes, state.CntTot, state.SumTot), std::tuple(0, 0, 0));
  for (const Spectrum* spectrum : {&state.SpcSmp, &state.SpcSmt, &state.SpcRef})
    EXPECT_EQ(std::count(spectrum->begin(), spectrum->end(), 1), kSpectrumChannels);
  EXPECT_GT(PicGrp.drawings, 0) << "the cleared spectra are drawn at once";
  EXPECT_EQ(Shown(), shown);
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
// from the monotonic clock; the seconds counted keep to that clock whatever
// the timer does.
TEST_F(RunControlTest, ALateTickCountsEverySecondItStandsFor) {
  struct Second {
    std::int64_t after_ms;
    int pulses;  // in channel 1000, during the time before the tick
  };
  // 16 pulses a second of the clock: 960 CPM and 2,000 nGy.
  const auto on_time = [](int ticks) { return std::vector<Second>(ticks, Second{1000, 16}); };
  const auto then = [](std::vector<Second> ticks, const std::vector<Second>& more) {
    ticks.insert(ticks.end(), more.begin(), more.end());
    return ticks;
  };
  std::vector<Second> short_holdups = on_time(1);
  for (int i = 0; i < 10; ++i) short_holdups = then(short_holdups, {{1750, 28}, {250, 4}});
  // A timer 10 ms early, for an hour of its ticks: 3564 s of the clock.
  const std::vector<Second> early_timer(3600, Second{990, 16});
  // The real-time figures climb as 1 - 0.9^seconds of the step, whichever
  // way the seconds came (none checked: after an hour they have arrived).
  const struct {
    const char* what;
    std::vector<Second> ticks;
    Texts shown;
    Texts real_time;
    bool running;
  } rows[] = {
      {"one tick 5 s late",
       {{1000, 16}, {6000, 96}},
       {"112 COUNT", "960 CPM", "00:00:07", "2,000 nGy"},
       {"501 CPM", "1,043 nGy"},
       true},
      // The tick after a late one comes on the timer's schedule, 0.25 s
      // later, and stands for no second: its pulses go to the next one.
      {"a late tick, one on schedule, one on time",
       {{1000, 16}, {1750, 28}, {250, 4}, {1000, 16}},
       {"64 COUNT", "960 CPM", "00:00:04", "2,000 nGy"},
       {"334 CPM", "695 nGy"},
       true},
      {"ten short hold-ups",
       then(short_holdups, on_time(1)),
       {"352 COUNT", "960 CPM", "00:00:22", "2,000 nGy"},
       {"886 CPM", "1,847 nGy"},
       true},
      {"a timer a little early, for an hour",
       early_timer,
       {"57600 COUNT", "970 CPM", "00:59:24", "2,020 nGy"},
       {},
       true},
      // The preset passes within the stall: the labels show all 12 s and
      // their pulses, and the next tick stops the run.
      {"the preset inside a stall",
       then(on_time(7), {{5000, 80}}),
       {"192 COUNT", "960 CPM", "00:00:12", "2,000 nGy"},
       {"689 CPM", "1,435 nGy"},
       true},
      {"... and the next tick",
       then(on_time(7), {{5000, 80}, {1000, 16}}),
       {"192 COUNT", "960 CPM", "00:00:12", "2,000 nGy"},
       {"716 CPM", "1,492 nGy"},
       false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    meter = RateMeter{};
    seconds = TickSeconds{};
    CmbTmr.SetListIndex(row.ticks.size() > 20 ? k24Hour : k10Sec);
    Click();
    for (const Second& tick : row.ticks) {
      Pulses(tick.pulses, 1000);
      Tick(tick.after_ms);
    }
    EXPECT_EQ(Shown(), row.shown);
    if (!row.real_time.empty()) {
      EXPECT_EQ((Texts{LblRtmCpm.caption, LblRtmDose.caption}), row.real_time);
    }
    EXPECT_EQ(state.FlgRun == Flag::True, row.running);
    CmdRun.caption = "Stop";
    Click();
    state.CntSec = state.SumSec = 0;
  }
}

}  // namespace
}  // namespace pha::testing
