// pha_replug_bench: serial port 1 behind a link whose detector is unplugged
// and plugged in again, as the program's serial layer sees it.
//
//   pha_replug_bench [--replugs 20] [--away-seconds 30]
//
// Prints the median and the longest time from a detector's return (a new pty
// behind the link, a frame already waiting in it) to that frame being
// counted, and the share of one core the serial layer takes with the
// detector away against the same time with it idle on the line.
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "acquisition/pulse_decoder.h"
#include "platform/serial/qt_serial_port.h"
#include "support/detector_line.h"
#include "support/fakes.h"

namespace {

namespace fs = std::filesystem;

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Handles events until `done` holds, looking every few milliseconds.
template <typename Done>
void Until(Done done) {
  QEventLoop loop;
  QTimer look;
  QObject::connect(&look, &QTimer::timeout, [&] {
    if (done()) loop.quit();
  });
  look.start(5);
  if (!done()) loop.exec();
}

// The share of a core used while handling events for `seconds`.
double CpuShare(int seconds) {
  const double cpu = CpuSeconds();
  QElapsedTimer wall;
  wall.start();
  QEventLoop loop;
  QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
  loop.exec();
  return (CpuSeconds() - cpu) / (static_cast<double>(wall.elapsed()) / 1000.0);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  int replugs = 20;
  int away_seconds = 30;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--replugs") == 0) replugs = std::max(1, std::atoi(argv[i + 1]));
    if (std::strcmp(argv[i], "--away-seconds") == 0)
      away_seconds = std::max(1, std::atoi(argv[i + 1]));
  }
  const fs::path link = fs::temp_directory_path() / ("pha-replug-" + std::to_string(getpid()));
  auto detector = std::make_unique<pha::testing::PtyDetector>(link);
  pha::QtSerialPort port({{1, link.string()}});
  pha::testing::FakeWindow title;
  pha::MeasurementState state;
  pha::PulseDecoder decoder(port, title, state);
  port.OnComm([&] { decoder.MSComm1_OnComm(); });
  pha::SetUpPort(port);

  const double idle_share = CpuShare(away_seconds);
  detector.reset();  // its name goes, then the line hangs up
  Until([&] { return !port.IsOpen(); });
  const double away_share = CpuShare(away_seconds);

  std::vector<double> back_ms;
  for (int replug = 0; replug < replugs; ++replug) {
    if (replug > 0) {
      detector.reset();
      Until([&] { return !port.IsOpen(); });
    }
    // Back at a moment that has nothing to do with the looking's rhythm.
    QElapsedTimer pause;
    pause.start();
    Until([&] { return pause.elapsed() >= 100 + (replug * 379) % 1000; });
    const std::int32_t counted = state.CntSec;
    QElapsedTimer back;
    back.start();
    detector = std::make_unique<pha::testing::PtyDetector>(link);
    pha::testing::Send(*detector, {500});
    Until([&] { return state.CntSec > counted; });
    back_ms.push_back(static_cast<double>(back.nsecsElapsed()) / 1e6);
  }
  detector.reset();
  std::sort(back_ms.begin(), back_ms.end());
  std::printf("replugs: %d\n", replugs);
  std::printf("back to first counted frame, median: %.0f ms\n", back_ms[back_ms.size() / 2]);
  std::printf("back to first counted frame, longest: %.0f ms\n", back_ms.back());
  std::printf("cpu share, detector idle on the line: %.3f %%\n", 100 * idle_share);
  std::printf("cpu share, detector away: %.3f %%\n", 100 * away_share);
  return 0;
}
