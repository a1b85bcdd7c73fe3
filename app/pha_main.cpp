// pha: the front end of the pulse-height-analysing radiation counter on
// serial port 1. No command line, no configuration.
#include <QApplication>

#include "platform/posix/clocks.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/process.h"
#include "platform/window/qt_main_window.h"
#include "platform/window/run_pha.h"

int main(int, char** argv) {
  if (!pha::PrepareProcess("pha", pha::EndSignals::kAskTheEventLoop)) return 1;
  // The program has no command line, and Qt's own options (-style, -reverse,
  // -platform, -qwindowtitle, ...) would change its window: Qt gets the
  // program's name only.
  int qt_argc = 1;
  QApplication app(qt_argc, argv);
  pha::ConfigureApplication();
  pha::PosixFileSystem files;
  pha::LocalClock clock;
  return pha::RunPha(PHA_SERIAL_PORT1, files, clock);
}
