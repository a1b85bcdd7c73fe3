#include "platform/qt_controls.h"

#include <dlfcn.h>

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLocale>
#include <QRegularExpression>
#include <bit>

#include "platform/qt_colour.h"

namespace pha {
namespace {

// Makes one round trip to the X server through Xlib, when the program shows
// its windows through the xcb platform plugin with Xlib beside it.
//
// Qt's QXcbWindow::setWindowTitle sets _NET_WM_NAME through XCB and WM_NAME
// through Xlib (XSetWMName); the next XFlush, from the event loop, hands
// Xlib's request to XCB in _XSend. Because XCB owns the event queue, _XSend
// appends a PendingRequest (32 bytes on the heap) for each request, so that
// its errors can be picked up later. Xlib drops those records only while it
// reads events (never: _XEventsQueued returns at once when XCB owns the queue)
// or waits for a reply (_XReply, which retires every record before its own).
// So they pile up, one per title, some 40 KiB a minute at the full line rate,
// until Xlib's guard against sequence numbers wrapping waits for a reply of
// its own, about 65,000 requests on the connection later: here after 16
// minutes and 0.6 MiB, up to 2 MiB when the program sends little else. The
// resident memory stays that much higher. XSync waits for a reply.
//
// The program does not link Xlib: it is used only when the plugin loaded it.
void RoundTripThroughXlib() {
  const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (x11 == nullptr || x11->display() == nullptr) return;
  using XSyncFunction = int (*)(Display*, int);
  static const XSyncFunction xsync = [] {
    void* xlib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
    return xlib != nullptr ? std::bit_cast<XSyncFunction>(dlsym(xlib, "XSync")) : nullptr;
  }();
  if (xsync != nullptr) xsync(x11->display(), /*discard=*/0);
}

}  // namespace

QtWindowTitle::QtWindowTitle(QWidget* window)
    : window_(window), caption_(window->windowTitle().toStdString()) {
  push_.setSingleShot(true);
  QObject::connect(&push_, &QTimer::timeout, window_, [this] { Push(); });
  since_push_.start();
}

void QtWindowTitle::SetCaption(std::string text) {
  caption_ = std::move(text);
  if (push_.isActive()) return;
  const qint64 waited = since_push_.elapsed();
  if (waited >= kPushIntervalMs) {
    Push();
  } else {
    push_.start(static_cast<int>(kLatestPushMs - waited));
  }
}

void QtWindowTitle::Push() {
  push_.stop();
  since_push_.start();
  window_->setWindowTitle(QString::fromStdString(caption_));
  if (++pushes_ < kPushesPerRoundTrip) return;
  pushes_ = 0;
  RoundTripThroughXlib();
}

void QtLabel::SetCaption(std::string_view text) {
  const QString qtext = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  if (label_->text() == qtext) return;
  // The indent keeps the text off the border on its aligned side only.
  const bool indented = (label_->alignment() & (Qt::AlignLeft | Qt::AlignRight)) != 0;
  const int room = label_->contentsRect().width() - (indented ? std::max(label_->indent(), 0) : 0);
  const int own_pixels = QFontInfo(font_).pixelSize();
  QFont font = font_;
  for (int pixels = own_pixels; pixels >= kSmallestFontPixels; --pixels) {
    font.setPixelSize(pixels);
    if (QFontMetrics(font).horizontalAdvance(qtext) <= room) break;
  }
  if (label_->font() != font) label_->setFont(font);
  label_->setText(qtext);
  label_->setToolTip(font.pixelSize() < own_pixels ? qtext : QString());
}

QtButton::QtButton(QPushButton* button) : button_(button), caption_(button->text().toStdString()) {}

void QtButton::SetCaption(std::string_view text) {
  caption_ = text;
  button_->setText(QString::fromStdString(caption_));
}

void QtButton::SetBackColor(Colour colour) {
  QPalette palette = button_->palette();
  palette.setColor(QPalette::Button, ToQColor(colour, QApplication::palette(button_)));
  button_->setPalette(palette);
}

std::int32_t QtComboBox::ItemData(int index) const {
  return static_cast<std::int32_t>(box_->itemData(index).toInt());
}

LocaleSeparators SystemLocaleSeparators() { return SeparatorsOf(QLocale::system()); }

LocaleSeparators SeparatorsOf(const QLocale& locale) {
  LocaleSeparators separators;
  separators.thousands = locale.groupSeparator().toStdString();
  // The separator after the hours in the locale's time format ("HH:mm:ss").
  const QString format = locale.timeFormat(QLocale::LongFormat);
  const qsizetype hours = format.indexOf(QRegularExpression(QStringLiteral("[hH]+")));
  if (hours >= 0) {
    qsizetype after = hours;
    while (after < format.size() && (format[after] == 'h' || format[after] == 'H')) ++after;
    if (after < format.size() && !format[after].isLetter() && format[after] != ' ')
      separators.time = QString(format[after]).toStdString();
  }
  return separators;
}

}  // namespace pha
