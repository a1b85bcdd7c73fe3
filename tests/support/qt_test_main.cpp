// main() for tests that need a QApplication, configured as the program's
// own: the offscreen platform unless the environment names another.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <string>

#include "platform/qt_main_window.h"

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (std::getenv("XDG_RUNTIME_DIR") == nullptr) {
    // Qt wants a private runtime folder; CI runs as root without one.
    const std::string runtime = "/tmp/pha-test-runtime-" + std::to_string(getuid());
    mkdir(runtime.c_str(), 0700);
    chmod(runtime.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  }
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  pha::ConfigureApplication();
  return RUN_ALL_TESTS();
}
