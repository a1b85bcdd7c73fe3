#include "platform/qt_controls.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLocale>
#include <QRegularExpression>

#include "platform/qt_colour.h"
#include "platform/xlib_calls.h"

namespace pha {

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
