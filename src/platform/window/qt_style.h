// The look of the program: Qt's Fusion style, with the classic group boxes
// and push buttons the window is laid out for.
#pragma once

#include <QProxyStyle>
#include <memory>

namespace pha {

// Fusion sets a group box's frame below its caption, where the controls laid
// out 16 pixels below the box's top would cross it, and shades a button's
// face with a gradient, so that no pixel shows the colour it was given. The
// classic forms do neither: the caption sits on the frame's top line, and a
// button's face is one solid colour inside a bevel.
class PhaStyle final : public QProxyStyle {
 public:
  PhaStyle();
  ~PhaStyle() override;

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                          QPainter* painter, const QWidget* widget) const override;
  QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                       SubControl sub_control, const QWidget* widget) const override;

 private:
  std::unique_ptr<QStyle> classic_;
};

}  // namespace pha
