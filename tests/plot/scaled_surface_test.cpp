// User coordinates to pixels, on a raster that records its pixel calls.
#include "main_window/scaled_surface.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <vector>

namespace pha {
namespace {

class PixelRecorder final : public ScaledSurface {
 public:
  enum class Op { Clear, Line, Rect };
  struct Call {
    Op op;
    std::array<double, 4> points{};
    std::optional<Colour> colour;
  };
  explicit PixelRecorder(float units_per_pixel = 1.0F) { StartScale(units_per_pixel); }
  std::vector<Call> calls;

 private:
  int PixelWidth() const override { return 925; }
  int PixelHeight() const override { return 533; }
  void ClearPixels() override { calls.push_back({Op::Clear}); }
  void DrawPixelLine(double x1, double y1, double x2, double y2,
                     std::optional<Colour> colour) override {
    calls.push_back({Op::Line, {x1, y1, x2, y2}, colour});
  }
  void FillPixelRect(double x1, double y1, double x2, double y2) override {
    calls.push_back({Op::Rect, {x1, y1, x2, y2}});
  }
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
    PixelRecorder s;
    s.SetScaleLeft(c.left);
    s.SetScaleTop(c.top);
    s.SetScaleWidth(c.width);
    s.SetScaleHeight(c.height);
    EXPECT_NEAR(s.PixelX(c.x), c.column, 1e-3);
    EXPECT_NEAR(s.PixelY(c.y), c.row, 1e-3);
  }
}

TEST(ScaledSurface, StartsInItsOwnUnitsAndDrawsInPixelsAfterScaleMode3) {
  PixelRecorder meter(15.0F);  // twips
  EXPECT_EQ(meter.ScaleWidth(), 925.0F * 15);
  EXPECT_EQ(meter.ScaleHeight(), 533.0F * 15);
  meter.LineBox(0, 0, 150, 30);
  meter.SetScaleLeft(7);
  meter.SetScaleMode(DrawingSurface::kScaleModePixels);
  EXPECT_EQ(meter.ScaleLeft(), 0.0F);
  EXPECT_EQ(meter.ScaleWidth(), 925.0F);
  meter.Cls();
  meter.Line(0, 0, 925, 533);
  meter.Line(462.5F, 1, 0, 0, 0x0000FF);
  ASSERT_EQ(meter.calls.size(), 4U);
  EXPECT_EQ(meter.calls[0].op, PixelRecorder::Op::Rect);
  EXPECT_EQ(meter.calls[0].points, (std::array<double, 4>{0, 0, 10, 2}));
  EXPECT_EQ(meter.calls[1].op, PixelRecorder::Op::Clear);
  EXPECT_EQ(meter.calls[2].points, (std::array<double, 4>{0, 0, 925, 533}));
  EXPECT_EQ(meter.calls[2].colour, std::nullopt);
  EXPECT_EQ(meter.calls[3].colour, Colour{0x0000FF});
}

}  // namespace
}  // namespace pha
