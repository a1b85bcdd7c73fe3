// main() for tests that need a QApplication, configured as the program's
// own: the offscreen platform unless the environment names another.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "platform/window/qt_main_window.h"
#include "platform/window/run_pha.h"

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  pha::ConfigureApplication();
  return RUN_ALL_TESTS();
}
