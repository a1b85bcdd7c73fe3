#include "platform/window/qt_main_window.h"

#include <QApplication>
#include <QMessageBox>

#include "platform/posix/diagnostics.h"
#include "platform/window/locale_separators.h"

namespace pha {
namespace {

// Window geometry is laid out in twips, 15 to the pixel at 96 dots per inch.
constexpr int kTwipsPerPixel = 15;
constexpr int Px(int twips) { return twips / kTwipsPerPixel; }

constexpr int kClientWidthTwips = 14040;
constexpr int kClientHeightTwips = 8775;
constexpr int kDrawIntervalMs = 200;
constexpr int kOneSecondMs = 1000;
constexpr int kFontPixels = 11;

struct Preset {
  const char* text;
  int seconds;
};
constexpr Preset kPresets[] = {{"10 sec", 10},     {"1 min", 60},     {"1 hour", 3600},
                               {"2 hour", 7200},   {"3 hour", 10800}, {"6 hour", 21600},
                               {"12 hour", 43200}, {"24 hour", 86400}};

void Place(QWidget* widget, int left, int top, int width, int height) {
  widget->setGeometry(Px(left), Px(top), Px(width), Px(height));
}

QGroupBox* MakeFrame(QWidget* parent, const char* caption, int left, int top, int width,
                     int height) {
  auto* frame = new QGroupBox(QString::fromUtf8(caption), parent);
  Place(frame, left, top, width, height);
  frame->setFocusPolicy(Qt::NoFocus);
  return frame;
}

// A one-line value label with a border; right-aligned unless centred.
QLabel* MakeValueLabel(QWidget* parent, const char* text, int left, int top, int width, int height,
                       Qt::Alignment alignment = Qt::AlignRight) {
  auto* label = new QLabel(QString::fromUtf8(text), parent);
  Place(label, left, top, width, height);
  label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  label->setAlignment(alignment | Qt::AlignVCenter);
  label->setMargin(0);
  label->setIndent(2);
  return label;
}

QPushButton* MakeButton(QWidget* parent, const char* caption, int left, int top, int width,
                        int height) {
  auto* button = new QPushButton(QString::fromUtf8(caption), parent);
  Place(button, left, top, width, height);
  button->setAutoDefault(false);
  return button;
}

// A drawing surface at its place in the layout; with a track, inside a sunken
// border like the value labels', which shows its extent when it is empty:
// the border is part of the layout's size, and the drawing area is what lies
// within it.
QtDrawingSurface* MakeSurface(QWidget* parent, int left, int top, int width, int height,
                              float units_per_pixel = 1.0F, bool track = false) {
  if (!track) {
    auto* surface = new QtDrawingSurface(QSize(Px(width), Px(height)), parent, units_per_pixel);
    surface->move(Px(left), Px(top));
    return surface;
  }
  auto* border = new QFrame(parent);
  border->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Place(border, left, top, width, height);
  const QRect inside = border->contentsRect();
  auto* surface = new QtDrawingSurface(inside.size(), border, units_per_pixel);
  surface->move(inside.topLeft());
  return surface;
}

}  // namespace

QtMainWindow::QtMainWindow(const std::string& port1_device, FileSystem& files, Clock& clock)
    : port_({{1, port1_device}}, nullptr, {.clock = &monotonic_}) {
  setWindowTitle(QStringLiteral("FrmQor"));
  BuildControls();

  title_.emplace(this);
  rtm_cpm_.emplace(LblRtmCpm_);
  rtm_dose_.emplace(LblRtmDose_);
  tim_.emplace(LblTim_);
  cnt_.emplace(LblCnt_);
  cpm_.emplace(LblCpm_);
  dose_.emplace(LblDose_);
  run_.emplace(CmdRun_);
  tmr_.emplace(CmbTmr_);
  messages_.emplace(this);
  logic_ = std::make_unique<TxtCmt>(TxtCmtControls{
      *title_, *rtm_cpm_, *rtm_dose_, *PicMtr_, *tmr_, *run_, *tim_, *cnt_, *cpm_, *dose_, *PicGrp_,
      port_, *messages_, files, clock, monotonic_, SystemLocaleSeparators()});

  // Both timers run from the creation of the window to the end; their ticks
  // reach the handlers once Form_Load has returned.
  TimDraw_ = new QTimer(this);
  TimDraw_->setInterval(kDrawIntervalMs);
  Tim1s_ = new QTimer(this);
  Tim1s_->setInterval(kOneSecondMs);
  WireEvents();
  TimDraw_->start();
  Tim1s_->start();
}

QtMainWindow::~QtMainWindow() = default;

void QtMainWindow::BuildControls() {
  // The controls keep their places whatever the window's size, so the
  // window has one size and offers no maximise button.
  setFixedSize(Px(kClientWidthTwips), Px(kClientHeightTwips));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  // The controls are 21 pixels high and the value labels narrow: a small,
  // condensed font keeps most figures whole at its full size (QtLabel sets
  // longer ones smaller).
  QFont small = font();
  small.setFamilies({QStringLiteral("DejaVu Sans Condensed"), small.family()});
  small.setStretch(QFont::SemiCondensed);
  small.setPixelSize(kFontPixels);
  setFont(small);

  Frame1_ = MakeFrame(this, "Real time data", 60, 60, 3255, 615);
  LblRtmCpm_ = MakeValueLabel(Frame1_, "0 CPM", 120, 240, 855, 315);
  LblRtmDose_ = MakeValueLabel(Frame1_, "0 nGy", 1020, 240, 855, 315);
  // The meter bar is AvgDose / 10 units long. In twips, like the layout, the
  // track holds 1185 units: a bar that fills at 11,850 nGy, where pixels
  // would fill it at 790, a rate a weak check source already reaches.
  PicMtr_ = MakeSurface(Frame1_, 1920, 240, 1215, 315, kTwipsPerPixel, /*track=*/true);

  Frame2_ = MakeFrame(this, "Measurememt", 3420, 60, 7815, 615);
  CmbTmr_ = new QComboBox(Frame2_);
  Place(CmbTmr_, 120, 240, 1635, 300);
  CmbTmr_->setEditable(false);
  for (const Preset& preset : kPresets) CmbTmr_->addItem(preset.text, preset.seconds);
  CmdRun_ = MakeButton(Frame2_, "Run", 1860, 240, 795, 315);
  LblTim_ = MakeValueLabel(Frame2_, "00:00:00", 2700, 240, 795, 315, Qt::AlignHCenter);
  LblCnt_ = MakeValueLabel(Frame2_, "0 COUNT", 3540, 240, 1635, 315);
  LblCpm_ = MakeValueLabel(Frame2_, "0 CPM", 5220, 240, 1095, 315);
  LblDose_ = MakeValueLabel(Frame2_, "nGy", 6360, 240, 1335, 315);

  Frame3_ = MakeFrame(this, "File control", 11340, 60, 2595, 615);
  CmdSav_ = MakeButton(Frame3_, "Save", 60, 240, 795, 315);
  CmdLodSmp_ = MakeButton(Frame3_, "LodSam", 900, 240, 795, 315);
  CmdLodRef_ = MakeButton(Frame3_, "LodRef", 1740, 240, 795, 315);

  PicGrp_ = MakeSurface(this, 60, 720, 13875, 7995);

  // Keyboard focus order among the controls that take focus.
  QWidget::setTabOrder(CmbTmr_, CmdRun_);
  QWidget::setTabOrder(CmdRun_, CmdLodRef_);
  QWidget::setTabOrder(CmdLodRef_, CmdLodSmp_);
  QWidget::setTabOrder(CmdLodSmp_, CmdSav_);
}

void QtMainWindow::WireEvents() {
  // Each event reaches exactly one handler of the window, through Handle.
  using Handler = void (TxtCmt::*)();
  const auto to = [this](Handler handler) {
    return [this, handler] { Handle([this, handler] { (logic_.get()->*handler)(); }); };
  };
  // Before a second is counted or a click is handled, the port hands on what
  // the system holds for the line already: a late tick's second has all its
  // pulses, a run counts none that came before its click, and a save holds
  // every one that came before it.
  const auto at_once = [this, to](Handler handler) {
    return [this, handler = to(handler)] {
      port_.DeliverWaiting();
      handler();
    };
  };
  port_.OnComm(to(&TxtCmt::MSComm1_OnComm));
  port_.OnLineReport([this](const std::string& message) { messages_->ShowError(message); });
  connect(CmdRun_, &QPushButton::clicked, this, at_once(&TxtCmt::CmdRun_Click));
  connect(Tim1s_, &QTimer::timeout, this, at_once(&TxtCmt::Tim1s_Timer));
  connect(TimDraw_, &QTimer::timeout, this, to(&TxtCmt::TimDraw_Timer));
  connect(CmdSav_, &QPushButton::clicked, this, at_once(&TxtCmt::CmdSav_Click));
  connect(CmdLodSmp_, &QPushButton::clicked, this, at_once(&TxtCmt::CmdLodSmp_Click));
  connect(CmdLodRef_, &QPushButton::clicked, this, at_once(&TxtCmt::CmdLodRef_Click));
}

void QtMainWindow::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  // A message box still open must not keep the program alive.
  QCoreApplication::quit();
}

void QtMainWindow::Form_Load() {
  logic_->Form_Load();
  loaded_ = true;
}

void QtMainWindow::Handle(const std::function<void()>& handler) {
  // Before start-up has finished (a failing one shows its message in an
  // event loop of its own) and after an unexpected failure, events are let go.
  if (!loaded_ || failed_) return;
  if (handling_) {
    QTimer::singleShot(0, this, [this, handler] { Handle(handler); });
    return;
  }
  handling_ = true;
  try {
    handler();
  } catch (const std::exception& error) {
    EndOnUnexpectedFailure(error.what());
  }
  handling_ = false;
}

void QtMainWindow::EndOnUnexpectedFailure(const std::string& what) {
  // Nothing the handlers do is expected to throw; should something still
  // fail, the state behind the window can no longer be trusted. Everything
  // that would wake a handler stops before the message shows, so that the
  // program waits quietly for the operator to read it, and then ends.
  failed_ = true;
  TimDraw_->stop();
  Tim1s_->stop();
  port_.Shutdown();
  const std::string message =
      "An unexpected failure stopped the program: " + what +
      ". No more pulses are counted. The program ends when this message is closed; start it "
      "again to go on measuring.";
  WriteDiagnostic("pha", message);
  QMessageBox::critical(this, QStringLiteral("pha"), QString::fromStdString(message));
  QCoreApplication::exit(1);
}

}  // namespace pha
