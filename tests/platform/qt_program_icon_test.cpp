// The program's icon, from the SVG built into the program.
#include "platform/qt_program_icon.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>

namespace pha {
namespace {

TEST(ProgramIcon, ComesAtEverySizeAWindowManagerAsksForFromSmallToLarge) {
  const QIcon icon = ProgramIcon();
  ASSERT_FALSE(icon.isNull());
  const QList<QSize> sizes = icon.availableSizes();
  for (const int size : {16, 32, 48, 256}) EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
}

TEST(ProgramIcon, ShowsTheSpectrumOnItsScreenWithTransparentCorners) {
  const QImage image = ProgramIcon().pixmap(QSize(16, 16)).toImage();
  ASSERT_EQ(image.size(), QSize(16, 16));
  EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);  // outside the rounded screen
  // The photopeak fills the column right of the middle near the top; the
  // screen behind it is dark blue, the counts orange.
  const QRgb peak = image.pixel(10, 5);
  EXPECT_GT(qRed(peak), 200);
  EXPECT_LT(qBlue(peak), 160);
  const QRgb screen = image.pixel(4, 3);
  EXPECT_LT(qRed(screen), 80);
}

}  // namespace
}  // namespace pha
