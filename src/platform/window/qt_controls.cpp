#include "platform/window/qt_controls.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>

#include "platform/qt_colour.h"

namespace pha {

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

}  // namespace pha
