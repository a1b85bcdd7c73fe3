#include "platform/window/qt_style.h"

#include <QPushButton>
#include <QStyleFactory>

namespace pha {

PhaStyle::PhaStyle()
    : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))),
      classic_(QStyleFactory::create(QStringLiteral("Windows"))) {}

PhaStyle::~PhaStyle() = default;

void PhaStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                             QPainter* painter, const QWidget* widget) const {
  // Push buttons only: other controls (a drop-down list's face) draw their
  // own look with the same element.
  if (element == PE_PanelButtonCommand && qobject_cast<const QPushButton*>(widget) != nullptr) {
    classic_->drawPrimitive(element, option, painter, widget);
    return;
  }
  QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void PhaStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                  QPainter* painter, const QWidget* widget) const {
  if (control == CC_GroupBox) {
    classic_->drawComplexControl(control, option, painter, widget);
    return;
  }
  QProxyStyle::drawComplexControl(control, option, painter, widget);
}

QRect PhaStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                               SubControl sub_control, const QWidget* widget) const {
  if (control == CC_GroupBox) return classic_->subControlRect(control, option, sub_control, widget);
  return QProxyStyle::subControlRect(control, option, sub_control, widget);
}

}  // namespace pha
