// 0xBBGGRR colours to Qt's.
#pragma once

#include <QColor>
#include <QPalette>

#include "main_window/window_ops.h"

namespace pha {

inline QColor ToQColor(Colour colour, const QPalette& palette) {
  if (colour == kButtonFaceColour) return palette.color(QPalette::Button);
  return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                static_cast<int>((colour >> 16) & 0xFF));
}

}  // namespace pha
