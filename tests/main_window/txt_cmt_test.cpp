// The window's start-up and its redraw tick against plain fakes.
#include "main_window/txt_cmt.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "support/fakes.h"

namespace pha {
namespace {

using namespace pha::testing;

struct Window {
  explicit Window(SerialPort& port) : port(port) {}
  FakeWindow title;
  FakeLabel rtm_cpm, rtm_dose, tim, cnt, cpm, dose;
  RecordingSurface meter{81, 21};
  RecordingSurface plot;
  FakeComboBox presets;
  FakeButton run;
  SerialPort& port;
  FakeMessages messages;
  NoFiles files;
  FakeClock clock;
  TxtCmt logic{{title, rtm_cpm, rtm_dose, meter, presets, run, tim, cnt, cpm, dose, plot, port,
                messages, files, clock, LocaleSeparators{}}};
};

constexpr std::size_t kPictureCalls = 1 + 19 + 3303;

// The port first: when it cannot be opened, nothing else happens.
TEST(TxtCmt, FormLoadOpensThePortThenSelectsTenSecondsResetsAndDraws) {
  ScriptedSerialPort port;
  Window w(port);
  w.logic.State().SpcRef.fill(0);
  w.logic.Form_Load();
  EXPECT_TRUE(port.opened);
  EXPECT_EQ(w.presets.index, 0);
  EXPECT_EQ(std::count(w.logic.State().SpcRef.begin(), w.logic.State().SpcRef.end(), 1),
            kSpectrumChannels);
  EXPECT_EQ(w.plot.calls.size(), 2 * kPictureCalls);

  struct FailingPort : ScriptedSerialPort {
    void Open() override { throw PlatformError("gone"); }
  } failing;
  Window not_started(failing);
  EXPECT_THROW(not_started.logic.Form_Load(), PlatformError);
  EXPECT_EQ(not_started.presets.index, -1);
  EXPECT_TRUE(not_started.plot.calls.empty());
}

TEST(TxtCmt, ADrawTickShowsEveryChangeAndDrawsNothingWhenNothingChanged) {
  ScriptedSerialPort port;
  Window w(port);
  w.logic.Form_Load();
  const auto tick_draws = [&] {
    w.plot.calls.clear();
    w.logic.TimDraw_Timer();
    return w.plot.calls.size();
  };
  tick_draws();
  EXPECT_EQ(tick_draws(), 0U);
  port.PushFrame(300);  // idle: the spectra stay as they are
  w.logic.MSComm1_OnComm();
  EXPECT_EQ(tick_draws(), 0U);
  w.logic.CmdRun_Click();
  tick_draws();
  port.PushFrame(300);
  w.logic.MSComm1_OnComm();
  ASSERT_EQ(tick_draws(), kPictureCalls);
  EXPECT_NEAR(w.plot.calls[20 + 3 * 300].y1, 10 * std::log(2.0), 1e-4);  // the new pulse
  EXPECT_EQ(tick_draws(), 0U);
}

}  // namespace
}  // namespace pha
