// User coordinates to pixels, on a raster that records its pixel calls.
#include "main_window/scaled_surface.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <vector>

namespace {

using pha::Colour;

class PixelRecorder final : public pha::ScaledSurface {
 public:
  enum class Op { Clear, Line, Rect };
  struct Call {
    Op op;
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    std::optional<Colour> colour;
  };
  PixelRecorder(int width, int height, float units_per_pixel = 1.0F)
      : width_(width), height_(height) {
    StartScale(units_per_pixel);
  }
  std::vector<Call> calls;

 private:
  int PixelWidth() const override { return width_; }
  int PixelHeight() const override { return height_; }
  void ClearPixels() override { calls.push_back({Op::Clear, 0, 0, 0, 0, std::nullopt}); }
  void DrawPixelLine(double x1, double y1, double x2, double y2,
                     std::optional<Colour> colour) override {
    calls.push_back({Op::Line, x1, y1, x2, y2, colour});
  }
  void FillPixelRect(double x1, double y1, double x2, double y2) override {
    calls.push_back({Op::Rect, x1, y1, x2, y2, std::nullopt});
  }
  int width_;
  int height_;
};

void SetScale(pha::DrawingSurface& s, float left, float top, float width, float height) {
  s.SetScaleLeft(left);
  s.SetScaleTop(top);
  s.SetScaleWidth(width);
  s.SetScaleHeight(height);
}

TEST(ScaledSurface, StartsInPixelsAndScaleMode3ReturnsToThem) {
  PixelRecorder s(925, 533);
  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass);
    EXPECT_EQ(s.ScaleLeft(), 0.0F);
    EXPECT_EQ(s.ScaleTop(), 0.0F);
    EXPECT_EQ(s.ScaleWidth(), 925.0F);
    EXPECT_EQ(s.ScaleHeight(), 533.0F);
    EXPECT_DOUBLE_EQ(s.PixelX(17.0F), 17.0);
    EXPECT_DOUBLE_EQ(s.PixelY(5.0F), 5.0);
    SetScale(s, 50, 115, 1100, -130);
    s.SetScaleMode(pha::DrawingSurface::kScaleModePixels);
  }
}

TEST(ScaledSurface, StartsInTwipsWhereAskedUntilScaleMode3) {
  PixelRecorder meter(81, 21, 15.0F);
  EXPECT_EQ(meter.ScaleWidth(), 1215.0F);
  EXPECT_EQ(meter.ScaleHeight(), 315.0F);
  EXPECT_DOUBLE_EQ(meter.PixelX(125.0F), 125.0 / 15.0);
  meter.SetScaleMode(pha::DrawingSurface::kScaleModePixels);
  EXPECT_EQ(meter.ScaleWidth(), 81.0F);
}

TEST(ScaledSurface, MapsUserUnitsToPixels) {
  // column (x - left) * W / width, row (y - top) * H / height, on 925 x 533
  struct Case {
    float left, top, width, height, x, y;
    double column, row;
  };
  // The plot's corners are in DrawingCallsReachTheRasterInPixels; here a point
  // beyond them, other origins and a negative width.
  const Case cases[] = {
      {0, 115, 1100, -130, 1101, 214.5F, 925.8409091, -407.95},
      {100, 10, 200, 50, 200, 35, 462.5, 266.5},
      {100, 10, 200, 50, 50, 0, -231.25, -106.6},
      {-10, -20, -925, -533, 0, 0, -10, -20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.x << ", " << c.y);
    PixelRecorder s(925, 533);
    SetScale(s, c.left, c.top, c.width, c.height);
    EXPECT_NEAR(s.PixelX(c.x), c.column, 1e-3);
    EXPECT_NEAR(s.PixelY(c.y), c.row, 1e-3);
  }
}

TEST(ScaledSurface, DrawingCallsReachTheRasterInPixels) {
  PixelRecorder s(925, 533);
  SetScale(s, 0, 115, 1100, -130);
  s.Cls();
  s.Line(0, 115, 1100, -15);
  s.Line(550, 0, 0, 115, 0x0000FF);
  s.LineBox(1100, -15, 550, 0);
  using Points = std::array<double, 4>;
  const auto points = [&s](std::size_t i) {
    const PixelRecorder::Call& c = s.calls.at(i);
    return Points{c.x1, c.y1, c.x2, c.y2};
  };
  ASSERT_EQ(s.calls.size(), 4U);
  EXPECT_EQ(s.calls[0].op, PixelRecorder::Op::Clear);
  EXPECT_EQ(s.calls[1].op, PixelRecorder::Op::Line);
  EXPECT_EQ(points(1), (Points{0, 0, 925, 533}));
  EXPECT_EQ(s.calls[1].colour, std::nullopt);
  EXPECT_EQ(s.calls[2].op, PixelRecorder::Op::Line);
  EXPECT_EQ(points(2), (Points{462.5, 471.5, 0, 0}));
  EXPECT_EQ(s.calls[2].colour, Colour{0x0000FF});
  EXPECT_EQ(s.calls[3].op, PixelRecorder::Op::Rect);
  EXPECT_EQ(points(3), (Points{925, 533, 462.5, 471.5}));
}

}  // namespace
