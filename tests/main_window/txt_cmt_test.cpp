// The window's start-up and its redraw tick against plain fakes.
#include "main_window/txt_cmt.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <utility>

#include "support/fakes.h"

namespace pha {
namespace {

using namespace pha::testing;

struct Window {
  explicit Window(SerialPort& port) : port(port) {}
  FakeWindow title;
  FakeLabel rtm_cpm, rtm_dose, tim, cnt, cpm, dose;
  CountingSurface meter{81, 21};
  CountingSurface plot;
  FakeComboBox presets;
  FakeButton run;
  SerialPort& port;
  FakeMessages messages;
  NoFiles files;
  FakeClock clock;
  FakeMonotonicClock monotonic;
  TxtCmt logic{{title, rtm_cpm, rtm_dose, meter, presets, run, tim, cnt, cpm, dose, plot, port,
                messages, files, clock, monotonic, LocaleSeparators{}}};
};

// The port first: when it cannot be opened, nothing else happens.
TEST(TxtCmt, FormLoadOpensThePortThenSelectsTenSecondsAndShowsEmptySpectra) {
  ScriptedSerialPort port;
  Window w(port);
  w.logic.State().SpcRef.fill(0);
  w.logic.Form_Load();
  EXPECT_TRUE(port.opened);
  EXPECT_EQ(w.presets.index, 0);
  for (const Spectrum* spectrum : {&w.logic.State().SpcSmp, &w.logic.State().SpcRef})
    EXPECT_EQ(std::count(spectrum->begin(), spectrum->end(), 1), kSpectrumChannels);
  EXPECT_GT(w.plot.drawings, 0);

  struct FailingPort : ScriptedSerialPort {
    void Open() override { throw PlatformError("gone"); }
  } failing;
  Window not_started(failing);
  EXPECT_THROW(not_started.logic.Form_Load(), PlatformError);
  EXPECT_EQ(not_started.presets.index, -1);
  EXPECT_EQ(not_started.plot.drawings, 0);
}

// A redraw tick draws whenever the spectra changed since the last one, and
// only then.
TEST(TxtCmt, ADrawTickDrawsEveryChangeOfTheSpectra) {
  ScriptedSerialPort port;
  Window w(port);
  w.logic.Form_Load();
  const auto tick_draws = [&] {
    w.plot.drawings = 0;
    w.logic.TimDraw_Timer();
    return w.plot.drawings > 0;
  };
  const std::pair<const char*, std::function<void()>> steps[] = {
      {"a pulse while idle", [&] { port.PushFrame(300); w.logic.MSComm1_OnComm(); }},
      {"Run", [&] { w.logic.CmdRun_Click(); }},
      {"a pulse while running", [&] { port.PushFrame(300); w.logic.MSComm1_OnComm(); }},
      {"nothing", [] {}},
  };
  const bool draws[] = {false, true, true, false};
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    tick_draws();
    steps[i].second();
    EXPECT_EQ(tick_draws(), draws[i]) << steps[i].first;
  }
}

}  // namespace
}  // namespace pha
