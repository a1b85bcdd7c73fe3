// Start-up and the end of the program.
#include <QApplication>
#include <QMessageBox>

#include "platform/files/process.h"
#include "platform/qt_main_window.h"

namespace pha {

int RunPha(const std::string& port1_device, FileSystem& files, Clock& clock) {
  QtMainWindow window(port1_device, files, clock);
  try {
    window.Form_Load();
  } catch (const PlatformError& error) {
    // Without its detector line the program has nothing to do: say why, then
    // end before the window is shown.
    WriteDiagnostic("pha", error.what());
    QMessageBox::critical(nullptr, QStringLiteral("pha"), QString::fromUtf8(error.what()));
    return 1;
  }
  window.show();
  return QApplication::exec();
}

}  // namespace pha
