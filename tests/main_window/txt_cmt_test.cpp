// The window's start-up and event handlers against plain fakes.
#include "main_window/txt_cmt.h"

#include <gtest/gtest.h>

#include "support/fakes.h"

namespace pha {
namespace {

using namespace pha::testing;

class NoFiles : public FileSystem {
 public:
  WorkingDirectory CurrentDirectory() const override { return {"/nowhere", std::nullopt}; }
  FileContents ReadFile(const std::string& path) const override {
    return {{}, "cannot read " + path};
  }
  FileError WriteFileReplacing(const std::string& path, std::string_view) override {
    return "cannot write " + path;
  }
};

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
  EXPECT_EQ(w.port.log, (std::vector<std::string>{"CommPort=1", "Settings=19200,N,8,1",
                                                  "InputMode=Binary", "InputLen=2",
                                                  "RThreshold=2", "Open"}));
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
  w.logic.TimDraw_Timer();
  EXPECT_EQ(w.plot.calls.size(), 2U * (1 + 19 + 3303));
}

TEST(TxtCmt, SerialNotificationsReachTheDecoderAndTheTitleLog) {
  Window w;
  w.logic.Form_Load();
  w.port.PushFrame(512);
  w.port.PushFrame(498);
  w.logic.MSComm1_OnComm();
  EXPECT_EQ(w.title.Caption(), "498 512 FrmQor");
  EXPECT_EQ(w.logic.State().CntSec, 2);
  EXPECT_EQ(w.logic.State().CntTot, 0);
}

}  // namespace
}  // namespace pha
