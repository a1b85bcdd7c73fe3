// pha-demo: the program wired to a built-in detector emulator on a
// pseudo-terminal, to try it without hardware. The emulated detector sends a
// realistic spectrum at 150 pulses per second.
//
// It works in a folder of its own, ~/.local/share/pha-demo, which holds the
// folder data, so that Save, LodSam and LodRef work from the first click.
// With --unplug-every the emulated cable is pulled every so often, to show
// how the program waits for the detector and carries on when it is back.
// SIGTERM, SIGINT and SIGHUP end it as closing the window does, and the
// emulated detector's pty and link go with it.
#include <unistd.h>

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QStandardPaths>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

#include "command_line/command_line.h"
#include "emulator/emulator.h"
#include "platform/posix/clocks.h"
#include "platform/posix/diagnostics.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/process.h"
#include "platform/window/qt_main_window.h"
#include "platform/window/run_pha.h"

namespace {

constexpr double kDemoPulsesPerSecond = 150.0;

constexpr std::string_view kUsage =
    "Usage: pha-demo [--unplug-every SECONDS [--unplug-for SECONDS]]";
constexpr std::string_view kHelp = R"(
Starts the pulse-height analyser's window on an emulated detector, a
realistic spectrum at 150 pulses per second, to try the program without
hardware. It works in ~/.local/share/pha-demo, whose folder data takes the
saved spectra; a saved file copied to data/sam.csv or data/ref.csv there
loads with LodSam or LodRef.

Options:
  --unplug-every S   pull the emulated detector's cable every S seconds
                     (default 0: never)
  --unplug-for S     ... and put it back after S seconds (default 2)
  --help             show this text
)";

// The emulated detector's link, removed at any end of the process: Qt ends
// it with exit() when the display server goes away, past every destructor.
std::string* link_at_exit = nullptr;

}  // namespace

int main(int argc, char** argv) {
  if (!pha::PrepareProcess("pha-demo", pha::EndSignals::kAskTheEventLoop)) return 1;
  namespace cl = pha::command_line;
  pha::emulator::Plugging plugging;
  try {
    const cl::CommandLine line(argc, argv, {}, {"--unplug-every", "--unplug-for"});
    if (line.Help()) {
      std::cout << kUsage << '\n' << kHelp;
      return 0;
    }
    for (auto [option, time] : {std::pair{"--unplug-every", &plugging.unplug_every},
                                std::pair{"--unplug-for", &plugging.unplug_for}})
      if (const auto seconds = line.Value(option)) *time = cl::ParseSeconds(option, *seconds);
  } catch (const cl::UsageError& error) {
    return cl::ToldUsageError("pha-demo", kUsage, error);
  }
  // Qt's own options (-style, -reverse, ...) would change the window: Qt
  // gets the program's name only.
  int qt_argc = 1;
  QApplication app(qt_argc, argv);
  pha::ConfigureApplication();

  const QString folder =
      QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/pha-demo";
  if (!QDir().mkpath(folder + "/data") || !QDir::setCurrent(folder)) {
    pha::WriteDiagnostic("pha-demo", "cannot make or enter the folder " + folder.toStdString());
    return 1;
  }
  pha::WriteDiagnostic("pha-demo", "working in " + folder.toStdString() +
                                       ": Save writes into its folder data; a copy of a saved "
                                       "file named data/sam.csv or data/ref.csv loads back.");
  try {
    pha::emulator::Options options;
    options.rate_per_s = kDemoPulsesPerSecond;
    options.seed = static_cast<std::uint64_t>(QDateTime::currentMSecsSinceEpoch());
    // The port is a link, so that a detector plugged in anew is found again.
    const std::string link =
        QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation).toStdString() +
        "/pha-demo-detector-" + std::to_string(getpid());
    link_at_exit = new std::string(link);
    std::atexit([] { unlink(link_at_exit->c_str()); });
    pha::emulator::Detector detector(link, options, plugging);
    detector.Start();
    pha::PosixFileSystem files;
    pha::LocalClock clock;
    return pha::RunPha(link, files, clock);
  } catch (const std::exception& error) {
    pha::WriteDiagnostic("pha-demo", error.what());
    return 1;
  }
}
