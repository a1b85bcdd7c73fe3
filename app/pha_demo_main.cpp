// pha-demo: the program wired to a built-in detector emulator on a
// pseudo-terminal, to try it without hardware. The emulated detector sends a
// realistic spectrum at 150 pulses per second.
#include <QApplication>
#include <QDateTime>
#include <iostream>

#include "emulator/emulator.h"
#include "platform/files/local_clock.h"
#include "platform/files/posix_file_system.h"
#include "platform/qt_main_window.h"

namespace {
constexpr double kDemoPulsesPerSecond = 150.0;
}

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  pha::ConfigureApplication();
  try {
    pha::emulator::PtyDetector detector;
    pha::emulator::Options options;
    options.rate_per_s = kDemoPulsesPerSecond;
    options.seed = static_cast<std::uint64_t>(QDateTime::currentMSecsSinceEpoch());
    pha::emulator::Runner runner(detector.master_fd(), options);
    runner.Start();
    std::cerr << "pha-demo: emulated detector on " << detector.slave_path() << std::endl;

    pha::PosixFileSystem files;
    pha::LocalClock clock;
    const int status = pha::RunPha(detector.slave_path(), files, clock);
    runner.Stop();
    return status;
  } catch (const std::exception& error) {
    std::cerr << "pha-demo: " << error.what() << std::endl;
    return 1;
  }
}
