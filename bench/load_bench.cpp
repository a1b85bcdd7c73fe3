// pha_load_bench: the real window on a given serial device, a "24 hour"
// measurement running, every timer and redraw going, for a number of seconds;
// then the share of one core the process used and its resident memory.
//
//   pha_load_bench --device /tmp/detector --seconds 60
//
// Start the detector first, for example pha-emulator --link /tmp/detector
// --rate 5000 (more than the line carries, so it runs full at 960 frames/s).
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/files/local_clock.h"
#include "platform/files/posix_file_system.h"
#include "platform/qt_main_window.h"

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

long StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  pha::ConfigureApplication();
  std::string device;
  int seconds = 60;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--device") == 0) device = argv[i + 1];
    if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atoi(argv[i + 1]);
  }
  if (device.empty() || seconds <= 0) {
    std::fprintf(stderr, "usage: pha_load_bench --device PATH [--seconds N]\n");
    return 2;
  }

  pha::PosixFileSystem files;
  pha::LocalClock clock;
  pha::QtMainWindow window(device, files, clock);
  try {
    window.Form_Load();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "pha_load_bench: %s\n", error.what());
    return 1;
  }
  window.show();
  window.CmbTmr_->setCurrentIndex(7);  // "24 hour"
  window.CmdRun_->click();

  // The first seconds fill caches and buffers; measure after them.
  constexpr int kWarmUpMs = 5000;
  double cpu_start = 0;
  QElapsedTimer wall;
  std::int64_t pulses_start = 0;
  QTimer::singleShot(kWarmUpMs, [&] {
    cpu_start = CpuSeconds();
    pulses_start = window.Logic().State().CntTot;
    wall.start();
    QTimer::singleShot(seconds * 1000, [&] { QApplication::quit(); });
  });
  QApplication::exec();

  const double elapsed = static_cast<double>(wall.elapsed()) / 1000.0;
  const double share = (CpuSeconds() - cpu_start) / elapsed;
  const double rate = static_cast<double>(window.Logic().State().CntTot - pulses_start) / elapsed;
  std::printf("seconds measured: %.1f\n", elapsed);
  std::printf("pulses per second: %.0f\n", rate);
  std::printf("cpu share of one core: %.2f %%\n", 100.0 * share);
  std::printf("resident memory: %ld KiB (peak %ld KiB)\n", StatusKiB("VmRSS:"),
              StatusKiB("VmHWM:"));
  return 0;
}
