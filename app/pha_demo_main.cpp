// pha-demo: the program wired to a built-in detector emulator on a
// pseudo-terminal, to try it without hardware. The emulated detector sends a
// realistic spectrum at 150 pulses per second.
//
//   pha-demo [--unplug-every SECONDS [--unplug-for SECONDS]]
//
// It works in a folder of its own, ~/.local/share/pha-demo, which holds the
// folder data, so that Save, LodSam and LodRef work from the first click.
// With --unplug-every the emulated cable is pulled every so often, to show
// how the program waits for the detector and carries on when it is back.
#include <unistd.h>

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QStandardPaths>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

#include "emulator/emulator.h"
#include "platform/files/local_clock.h"
#include "platform/files/posix_file_system.h"
#include "platform/files/process.h"
#include "platform/qt_main_window.h"

namespace {

constexpr double kDemoPulsesPerSecond = 150.0;

std::chrono::milliseconds Seconds(const char* text) {
  return std::chrono::milliseconds(
      static_cast<std::int64_t>(std::max(0.0, std::atof(text)) * 1000));
}

}  // namespace

int main(int argc, char** argv) {
  pha::PrepareProcess();
  QApplication app(argc, argv);
  pha::ConfigureApplication();
  pha::emulator::Plugging plugging;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--unplug-every") == 0) plugging.unplug_every = Seconds(argv[i + 1]);
    if (std::strcmp(argv[i], "--unplug-for") == 0) plugging.unplug_for = Seconds(argv[i + 1]);
  }

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
