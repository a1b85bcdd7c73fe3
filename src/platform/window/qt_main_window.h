// The main window TxtCmt on Qt Widgets: its controls at their fixed places,
// its two timers and serial port 1, wired to the handlers.
#pragma once

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "main_window/txt_cmt.h"
#include "platform/drawing/qt_drawing_surface.h"
#include "platform/posix/clocks.h"
#include "platform/serial/qt_serial_port.h"
#include "platform/window/qt_controls.h"
#include "platform/window/qt_messages.h"
#include "platform/window/qt_window_title.h"

namespace pha {

class QtMainWindow final : public QWidget {
  Q_OBJECT

 public:
  // `port1_device` is the system's device behind serial port 1.
  QtMainWindow(const std::string& port1_device, FileSystem& files, Clock& clock);
  ~QtMainWindow() override;

  // Start-up, before the window is shown: the window's Form_Load. No event
  // reaches a handler before it has returned. Throws PlatformError when
  // serial port 1 cannot be opened.
  void Form_Load();

  TxtCmt& Logic() { return *logic_; }
  QtSerialPort& Port() { return port_; }
  QtDrawingSurface& PicGrp() { return *PicGrp_; }

  // Controls by name, for the wiring and for tests.
  QGroupBox* Frame1_;
  QLabel* LblRtmCpm_;
  QLabel* LblRtmDose_;
  QtDrawingSurface* PicMtr_;
  QGroupBox* Frame2_;
  QComboBox* CmbTmr_;
  QPushButton* CmdRun_;
  QLabel* LblTim_;
  QLabel* LblCnt_;
  QLabel* LblCpm_;
  QLabel* LblDose_;
  QGroupBox* Frame3_;
  QPushButton* CmdSav_;
  QPushButton* CmdLodSmp_;
  QPushButton* CmdLodRef_;
  QtDrawingSurface* PicGrp_;
  QTimer* TimDraw_;
  QTimer* Tim1s_;

 protected:
  // Closing the window ends the program at once, whatever else is open.
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void WireEvents();
  // Runs one handler. Handlers never nest: an event that comes due while one
  // runs (only possible through a nested event loop) is handled after it.
  void Handle(const std::function<void()>& handler);
  void EndOnUnexpectedFailure(const std::string& what);

  SteadyClock monotonic_;
  QtSerialPort port_;
  std::optional<QtWindowTitle> title_;
  std::optional<QtLabel> rtm_cpm_, rtm_dose_, tim_, cnt_, cpm_, dose_;
  std::optional<QtButton> run_;
  std::optional<QtComboBox> tmr_;
  std::optional<QtMessages> messages_;
  std::unique_ptr<TxtCmt> logic_;
  bool loaded_ = false;
  bool handling_ = false;
  bool failed_ = false;
};

}  // namespace pha
