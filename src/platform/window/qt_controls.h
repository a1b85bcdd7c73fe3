// The window operations on Qt Widgets: value labels, the Run/Stop button,
// the presets' drop-down list.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <string>

#include "main_window/window_ops.h"

namespace pha {

// A value label. The labels are narrow and the figures can grow long
// ("122,760 nGy" at the line's full rate): a text that does not fit is set in
// a smaller font, down to a legible minimum, rather than cut off; whatever is
// set smaller than the label's own font shows whole when the pointer rests
// on it.
class QtLabel final : public Label {
 public:
  static constexpr int kSmallestFontPixels = 9;

  explicit QtLabel(QLabel* label) : label_(label), font_(label->font()) {}
  void SetCaption(std::string_view text) override;

 private:
  QLabel* label_;
  QFont font_;  // the label's own font, for texts that fit
};

class QtButton final : public Button {
 public:
  explicit QtButton(QPushButton* button);
  std::string Caption() const override { return caption_; }
  void SetCaption(std::string_view text) override;
  void SetBackColor(Colour colour) override;

 private:
  QPushButton* button_;
  std::string caption_;
};

class QtComboBox final : public ComboBox {
 public:
  explicit QtComboBox(QComboBox* box) : box_(box) {}
  int ListIndex() const override { return box_->currentIndex(); }
  void SetListIndex(int index) override { box_->setCurrentIndex(index); }
  std::int32_t ItemData(int index) const override;

 private:
  QComboBox* box_;
};

}  // namespace pha
