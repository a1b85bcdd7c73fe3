#include "platform/qt_controls.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLocale>
#include <QMessageBox>
#include <QRegularExpression>

#include "platform/files/process.h"
#include "platform/qt_colour.h"

namespace pha {

QtWindowTitle::QtWindowTitle(QWidget* window)
    : window_(window), caption_(window->windowTitle().toStdString()) {
  push_.setSingleShot(true);
  push_.setInterval(kPushIntervalMs);
  QObject::connect(&push_, &QTimer::timeout, window_,
                   [this] { window_->setWindowTitle(QString::fromStdString(caption_)); });
}

void QtWindowTitle::SetCaption(std::string text) {
  caption_ = std::move(text);
  if (!push_.isActive()) push_.start();
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

void QtMessages::ShowError(std::string_view message) {
  WriteDiagnostic("pha", message);
  QString text = QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size()));
  if (box_ == nullptr) {
    box_ = new QMessageBox(QMessageBox::Warning, QStringLiteral("pha"), QString(), QMessageBox::Ok,
                           parent_);
    box_->setAttribute(Qt::WA_DeleteOnClose);
    box_->setWindowModality(Qt::NonModal);
    since_opened_ = 0;
  }
  if (++since_opened_ > 1) {
    text += QStringLiteral(
                "\n\n(The newest of %1 messages since this window opened; standard "
                "error has them all.)")
                .arg(since_opened_);
  }
  box_->setText(text);
  box_->show();
  box_->raise();
  box_->activateWindow();
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
