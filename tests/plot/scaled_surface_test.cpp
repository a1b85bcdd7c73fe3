// User coordinates to pixels.
#include "main_window/scaled_surface.h"

#include <gtest/gtest.h>

namespace pha {
namespace {

// A raster of 925 x 533 pixels that draws nothing.
class Raster final : public ScaledSurface {
 public:
  Raster() { StartScale(1.0F); }

 private:
  int PixelWidth() const override { return 925; }
  int PixelHeight() const override { return 533; }
  void ClearPixels() override {}
  void DrawPixelLine(double, double, double, double, std::optional<Colour>) override {}
  void FillPixelRect(double, double, double, double) override {}
};

TEST(ScaledSurface, MapsUserUnitsToPixelsAndKeepsFarPointsWithinReach) {
  // column (x - left) * W / width, row (y - top) * H / height, on 925 x 533
  struct Case {
    float left, top, width, height, x, y;
    double column, row;
  };
  const Case cases[] = {
      {0, 115, 1100, -130, 1101, 214.5F, 925.8409091, -407.95},
      {100, 10, 200, 50, 200, 35, 462.5, 266.5},
      {100, 10, 200, 50, 50, 0, -231.25, -106.6},
      {-10, -20, -925, -533, 0, 0, -10, -20},
      // Points far off, or on a surface of no width, stay a million pixels
      // out: clipped, and still exact arithmetic for a painter.
      {0, 0, 1, 1, 3e30F, -3e30F, 1e6, -1e6},
      {0, 0, 0, 0, 1, -1, 1e6, -1e6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.x << ", " << c.y);
    Raster s;
    s.SetScaleLeft(c.left);
    s.SetScaleTop(c.top);
    s.SetScaleWidth(c.width);
    s.SetScaleHeight(c.height);
    EXPECT_NEAR(s.PixelX(c.x), c.column, 1e-3);
    EXPECT_NEAR(s.PixelY(c.y), c.row, 1e-3);
  }
}

}  // namespace
}  // namespace pha
