#include "platform/window/run_pha.h"

#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>
#include <csignal>
#include <memory>

#include "platform/posix/diagnostics.h"
#include "platform/posix/process.h"
#include "platform/window/qt_main_window.h"
#include "platform/window/qt_program_icon.h"
#include "platform/window/qt_style.h"

namespace pha {

int RunPha(const std::string& port1_device, FileSystem& files, Clock& clock) {
  // SIGTERM, SIGINT or SIGHUP (a logout, a shutdown, a closed terminal) end
  // the program as closing its window does: every event loop, a message's
  // own included, ends; then the window goes, and with it the port and its
  // lock. Nothing is saved.
  std::unique_ptr<QSocketNotifier> end_requests;
  if (EndRequests() >= 0) {
    end_requests = std::make_unique<QSocketNotifier>(EndRequests(), QSocketNotifier::Read);
    QObject::connect(end_requests.get(), &QSocketNotifier::activated, [] {
      char requests[16];
      while (read(EndRequests(), requests, sizeof requests) > 0) {
      }
      const char* name = sigabbrev_np(EndSignal());
      WriteDiagnostic("pha", std::string("ending on SIG") + (name != nullptr ? name : "?") +
                                 " as when the window is closed; nothing is saved.");
      QCoreApplication::exit(0);
    });
  }
  QtMainWindow window(port1_device, files, clock);
  try {
    window.Form_Load();
  } catch (const PlatformError& error) {
    // Without its detector line the program has nothing to do: say why, then
    // end before the window is shown.
    WriteDiagnostic("pha", error.what());
    QMessageBox::critical(nullptr, QStringLiteral("pha"), QString::fromUtf8(error.what()));
    return EndSignal() != 0 ? 0 : 1;
  }
  window.show();
  const int status = QApplication::exec();
  return EndSignal() != 0 ? 0 : status;
}

void ConfigureApplication() {
  // Qt's own warnings go the way of the program's messages: they must not
  // block the event loop on a standard error that nobody reads.
  qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
    WriteDiagnostic("pha", text.toStdString());
  });
  QApplication::setStyle(new PhaStyle);
  QApplication::setPalette(QApplication::style()->standardPalette());
  QApplication::setApplicationName(QStringLiteral("pha"));
  QApplication::setWindowIcon(ProgramIcon());
}

}  // namespace pha
