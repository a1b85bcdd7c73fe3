// The spectrum plot and the meter bar on the real Qt drawing surface: pixels.
#include "platform/qt_drawing_surface.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <algorithm>
#include <cmath>

#include "acquisition/measurement_state.h"
#include "plot/spectrum_plot.h"
#include "support/qt_wait.h"

namespace pha {
namespace {

const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);
const QColor kGrey(0x70, 0x70, 0x70);

class PlotPixels : public ::testing::Test {
 protected:
  PlotPixels() : surface_(QSize(925, 533)) { IniMes(state_, surface_); }

  QImage Draw() {
    DrwGrp(state_, surface_);
    return surface_.Picture();
  }
  // The pixel column of a channel, as the surface maps it.
  int Column(double channel) const {
    return static_cast<int>(std::floor(surface_.PixelX(float(channel))));
  }
  static bool RowHas(const QImage& image, int row, int from, int to, const QColor& colour) {
    for (int x = from; x <= to; ++x)
      if (image.pixelColor(x, row) != colour) return false;
    return true;
  }
  // The rows in a column that show `colour`.
  static std::vector<int> RowsOf(const QImage& image, int column, const QColor& colour) {
    std::vector<int> rows;
    for (int y = 0; y < image.height(); ++y)
      if (image.pixelColor(column, y) == colour) rows.push_back(y);
    return rows;
  }

  MeasurementState state_;
  QtDrawingSurface surface_;
};

TEST_F(PlotPixels, TheReferenceLiesOverItsDecadeLineAndIsClippedAtTheEdges) {
  state_.SpcRef[800] = kCountLimit;
  for (int channel = 0; channel <= 40; ++channel) state_.SpcRef[channel] = 0;
  state_.SpcRef[900] = std::numeric_limits<std::int32_t>::min();
  const QImage image = Draw();
  // Count 1: one blue line, exactly over the decade line of count 1.
  const std::vector<int> blue_rows = RowsOf(image, 462, kBlue);
  ASSERT_EQ(blue_rows.size(), 1U);
  const int row = blue_rows[0];
  EXPECT_NEAR(row, 115.0 * 533 / 130, 1.0);
  EXPECT_TRUE(RowHas(image, row, Column(42), Column(798), kBlue));
  const std::vector<int> grey_rows = RowsOf(image, 462, kGrey);
  for (const int next_to : {row - 1, row + 1})
    EXPECT_EQ(std::count(grey_rows.begin(), grey_rows.end(), next_to), 0) << next_to;
  // Where all three are 1, the reference covers the red and black traces.
  for (int x = Column(42); x < Column(798); x += 7) EXPECT_TRUE(RowsOf(image, x, kRed).empty());
  // The channel lines at 0 and 1100 lie on the left and right edges.
  EXPECT_EQ(image.pixelColor(0, 10), kGrey);
  EXPECT_EQ(image.pixelColor(924, 10), kGrey);
  EXPECT_TRUE(RowHas(image, int(surface_.PixelY(float(10 * std::log(1000.0)))), 10, 80, kGrey));
  // The segments to and from the huge count leave through the top; counts
  // below 1 sit on the bottom edge.
  EXPECT_EQ(image.pixelColor(Column(800), 0), kBlue);
  EXPECT_TRUE(RowHas(image, 532, Column(2), Column(38), kBlue));
  EXPECT_EQ(image.pixelColor(Column(900), 532), kBlue);
}

TEST_F(PlotPixels, OnlyFinishedPicturesAreShown) {
  const QImage finished = Draw();
  surface_.Cls();
  surface_.Line(0, 0, 1100, 100, 0x00FF00);
  // Not yet back in the event loop: the widget still shows the last picture.
  EXPECT_EQ(surface_.grab().toImage().convertToFormat(finished.format()), finished);
  testing::HandleEventsFor(20);
  EXPECT_NE(surface_.grab().toImage().convertToFormat(finished.format()), finished);
}

TEST(MeterPixels, TheBarIsFilledFromTheLeftEdgeToItsLengthInPixels) {
  QtDrawingSurface meter(QSize(81, 21), nullptr, 15.0F);  // in twips, as in the window
  const QColor text = meter.palette().color(QPalette::ButtonText);
  meter.LineBox(meter.ScaleLeft(), meter.ScaleTop(), meter.ScaleLeft() + 40 * 15.0F,
                meter.ScaleTop() + meter.ScaleHeight());
  QImage image = meter.Picture();
  EXPECT_EQ(image.pixelColor(0, 0), text);
  EXPECT_EQ(image.pixelColor(39, 20), text);
  EXPECT_EQ(image.pixelColor(41, 10), meter.palette().color(QPalette::Button));
  // A bar far longer than the box is cut off at its edge.
  meter.Cls();
  meter.LineBox(0, 0, 1e9F, meter.ScaleHeight());
  EXPECT_EQ(meter.Picture().pixelColor(80, 10), text);
}

// The lengths of the runs of `colour` along a line of pixels.
std::vector<int> Runs(const QImage& image, QPoint from, QPoint step, const QColor& colour) {
  std::vector<int> runs;
  int run = 0;
  for (QPoint at = from; image.rect().contains(at); at += step) {
    if (image.pixelColor(at) == colour) {
      ++run;
    } else if (run > 0) {
      runs.push_back(run);
      run = 0;
    }
  }
  if (run > 0) runs.push_back(run);
  return runs;
}

// Run again at QT_SCALE_FACTOR 1.5 and 2 (CMakeLists.txt): the picture has
// the screen's device pixels, and every line is one of them wide.
TEST(DevicePixels, GridLinesAndTracesAreOneDevicePixelWide) {
  QtDrawingSurface surface(QSize(925, 533));
  MeasurementState state;
  IniMes(state, surface);
  const QImage image = surface.Picture();
  const double ratio = qApp->devicePixelRatio();
  EXPECT_EQ(image.devicePixelRatio(), ratio);
  EXPECT_EQ(image.size(), QSize(925, 533) * ratio);
  EXPECT_DOUBLE_EQ(surface.PixelX(surface.ScaleLeft() + surface.ScaleWidth()), 925.0);
  const auto device = [&](double pixel) { return static_cast<int>(std::floor(pixel * ratio)); };

  // Down a column: the decade lines and the traces, all on the line of
  // count 1.
  const int column = device(surface.PixelX(650.0F));
  const std::vector<int> decades = Runs(image, {column, 0}, {0, 1}, kGrey);
  EXPECT_GE(decades.size(), 3U);
  for (const int run : decades) EXPECT_EQ(run, 1);
  EXPECT_EQ(Runs(image, {column, 0}, {0, 1}, kBlue), std::vector<int>{1});
  // Along a row between decade lines: the channel lines.
  const int row = device(surface.PixelY(15.0F));
  const std::vector<int> channels = Runs(image, {0, row}, {1, 0}, kGrey);
  EXPECT_GE(channels.size(), 10U);
  for (const int run : channels) EXPECT_EQ(run, 1);
}

}  // namespace
}  // namespace pha
