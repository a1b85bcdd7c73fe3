#include "platform/window/qt_messages.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTime>
#include <QVBoxLayout>
#include <QWindow>

#include "platform/posix/diagnostics.h"
#include "platform/window/xlib_calls.h"

namespace pha {
namespace {

constexpr int kWindowWidthPixels = 560;
constexpr int kEarlierLinesShown = 8;

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QtMessages::QtMessages(QWidget* parent) : parent_(parent) {
  show_.setSingleShot(true);
  show_.setInterval(0);
  connect(&show_, &QTimer::timeout, this, &QtMessages::ShowWindow);
}

void QtMessages::ShowError(std::string_view message) {
  WriteDiagnostic("pha", message);
  std::string text(message);
  for (char& c : text)
    if (c == '\n') c = ' ';
  entries_.push_front(
      {QTime::currentTime().toString(QStringLiteral("HH:mm:ss")).toStdString(), std::move(text)});
  if (entries_.size() > kKeptMessages) {
    entries_.pop_back();
    ++dropped_;
  }
  show_.start();
}

void QtMessages::ShowWindow() {
  if (entries_.empty()) return;
  // A window that the platform shows on the screen now takes the new
  // message as it stands. Any other (closed, hidden, unmapped or destroyed
  // behind Qt's back) is replaced by a new one where it stood.
  const bool on_screen = window_ != nullptr && window_->isVisible() &&
                         window_->windowHandle() != nullptr && window_->windowHandle()->isExposed();
  if (!on_screen) {
    if (window_ != nullptr) {
      if (window_->isVisible()) {
        place_ = window_->pos();
        placed_ = true;
      }
      window_->hide();
      window_->deleteLater();
    }
    BuildWindow();
  }
  newest_->setText(FromUtf8(entries_.front().time + "  " + entries_.front().text));
  QString lines;
  for (auto entry = entries_.begin() + 1; entry != entries_.end(); ++entry)
    lines += FromUtf8(entry->time + "  " + entry->text) + '\n';
  if (dropped_ > 0) {
    lines += QStringLiteral("(%1 earlier messages are not kept here; standard error has them all.)")
                 .arg(dropped_);
  }
  earlier_->setPlainText(lines.trimmed());
  earlier_title_->setVisible(!lines.isEmpty());
  earlier_->setVisible(!lines.isEmpty());
  window_->adjustSize();
  if (!on_screen) {
    if (placed_) window_->move(place_);
    window_->show();
    down_before_ = KeysDownOnTheXServer().value_or(std::set<std::uint32_t>{});
    closing_key_down_ = 0;
  }
  window_->raise();
  window_->activateWindow();
}

void QtMessages::BuildWindow() {
  auto* window = new QDialog(parent_);
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->setWindowModality(Qt::NonModal);
  window->setWindowTitle(QStringLiteral("pha"));
  window->setFixedWidth(kWindowWidthPixels);
  auto* layout = new QVBoxLayout(window);

  auto* top = new QHBoxLayout;
  auto* icon = new QLabel(window);
  const int icon_size = window->style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
  icon->setPixmap(window->style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(icon_size));
  icon->setAlignment(Qt::AlignTop);
  top->addWidget(icon);
  newest_ = new QLabel(window);
  newest_->setWordWrap(true);
  newest_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  top->addWidget(newest_, 1);
  layout->addLayout(top);

  earlier_title_ = new QLabel(QStringLiteral("Earlier messages, newest first:"), window);
  layout->addWidget(earlier_title_);
  earlier_ = new QPlainTextEdit(window);
  earlier_->setReadOnly(true);
  earlier_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  earlier_->setMinimumHeight(earlier_->fontMetrics().lineSpacing() * kEarlierLinesShown);
  layout->addWidget(earlier_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, window);
  buttons->button(QDialogButtonBox::Ok)->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, window, &QDialog::accept);
  layout->addWidget(buttons);
  // Keys reach the window itself, and only through TakeKey(): no control in
  // it acts on a key of its own (OK on Enter, say, as it is pressed).
  for (QWidget* child : window->findChildren<QWidget*>()) {
    child->setFocusPolicy(Qt::NoFocus);
    child->installEventFilter(this);
  }
  window->installEventFilter(this);
  window_ = window;
}

bool QtMessages::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
    TakeKey(*static_cast<QKeyEvent*>(event));
    return true;
  }
  return QObject::eventFilter(watched, event);
}

void QtMessages::TakeKey(const QKeyEvent& key) {
  const bool closing =
      key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter || key.key() == Qt::Key_Escape;
  if (!closing || key.isAutoRepeat() || window_ == nullptr) return;
  const std::uint32_t code = key.nativeScanCode();
  if (key.type() == QEvent::KeyPress) {
    // Held since before the window appeared, and repeating.
    if (code != 0 && down_before_.contains(code)) return;
    if (window_->isVisible() && window_->windowHandle() != nullptr &&
        window_->windowHandle()->isExposed())
      closing_key_down_ = key.key();
    return;
  }
  // An X server may hand a held key's repeats on as releases and presses,
  // not all of them marked as repeats; the server knows whether the key is
  // up.
  if (code != 0) {
    const std::optional<std::set<std::uint32_t>> down = KeysDownOnTheXServer();
    if (down && down->contains(code)) return;
    if (down_before_.erase(code) > 0) return;  // up at last, but not pressed here
  }
  if (closing_key_down_ != key.key()) return;
  closing_key_down_ = 0;
  window_->close();
}

}  // namespace pha
