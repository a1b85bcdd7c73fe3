// The spectrum plot and the meter bar on the real Qt drawing surface: pixels.
#include "platform/drawing/qt_drawing_surface.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <algorithm>
#include <cmath>

#include "acquisition/measurement_state.h"
#include "measurement/rate_meter.h"
#include "plot/spectrum_plot.h"
#include "support/fakes.h"
#include "support/qt_wait.h"

namespace pha {
namespace {

const QColor kBlack(0, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);
const QColor kGrey(0x70, 0x70, 0x70);

// The rows in a column that show `colour`.
std::vector<int> RowsOf(const QImage& image, int column, const QColor& colour) {
  std::vector<int> rows;
  for (int y = 0; y < image.height(); ++y)
    if (image.pixelColor(column, y) == colour) rows.push_back(y);
  return rows;
}

// The lengths of the runs of `colour` along a line of pixels, and where each
// starts.
std::vector<std::pair<int, int>> Runs(const QImage& image, QPoint from, QPoint step,
                                      const QColor& colour) {
  std::vector<std::pair<int, int>> runs;  // start (x or y), length
  int run = 0;
  int index = 0;
  for (QPoint at = from; image.rect().contains(at); at += step, ++index) {
    if (image.pixelColor(at) == colour) {
      if (run++ == 0) runs.push_back({index, 0});
      runs.back().second = run;
    } else {
      run = 0;
    }
  }
  return runs;
}

class PlotPixels : public ::testing::Test {
 protected:
  PlotPixels() : surface_(QSize(925, 533)) { IniMes(state_, surface_); }

  QImage Draw() {
    DrwGrp(state_, surface_);
    return surface_.Picture();
  }
  // The pixel column in the middle of a channel.
  static int Column(double channel) { return static_cast<int>((channel + 0.5) * 925 / 1100); }

  MeasurementState state_;
  QtDrawingSurface surface_;
};

// Each spectrum at a decade of its own, somewhere of its own: its trace lies
// exactly on that decade's grey line, in its colour, and where traces meet,
// the reference covers the smoothed trace, which covers the sample.
TEST_F(PlotPixels, TracesLieOnTheirDecadeLinesInTheirColoursReferenceOnTop) {
  const auto fill = [](Spectrum& spectrum, int from, int to, std::int32_t count) {
    std::fill(spectrum.begin() + from, spectrum.begin() + to + 1, count);
  };
  fill(state_.SpcSmp, 150, 250, 100);
  fill(state_.SpcSmt, 450, 550, 1000);
  fill(state_.SpcRef, 750, 850, 10);
  for (Spectrum* spectrum : {&state_.SpcSmp, &state_.SpcSmt, &state_.SpcRef})
    fill(*spectrum, 950, 1000, 10000);
  fill(state_.SpcRef, 20, 40, 0);         // no place on a log scale: the bottom edge
  state_.SpcSmp[300] = kCountLimit;       // far above the top edge
  fill(state_.SpcSmp, 1102, 2000, 5000);  // beyond the plot's channels
  const QImage image = Draw();

  // Where all three are 1: the line of count 1 in blue, the four decade
  // lines above it in grey, 10 ln 10 units of the 130 of the height apart.
  const std::vector<int> blue = RowsOf(image, Column(60), kBlue);
  ASSERT_EQ(blue.size(), 1U);
  EXPECT_NEAR(blue[0], 533 * 115.0 / 130, 1.0);
  std::vector<int> decades = RowsOf(image, Column(60), kGrey);
  ASSERT_EQ(decades.size(), 4U);
  decades.insert(decades.end(), blue[0]);  // counts 10000, 1000, 100, 10, 1
  for (std::size_t i = 0; i + 1 < decades.size(); ++i)
    EXPECT_NEAR(decades[i + 1] - decades[i], 533 * 23.026 / 130, 1.0);
  const int row_of[] = {decades[4], decades[3], decades[2], decades[1], decades[0]};

  const struct {
    double channel;
    std::vector<std::pair<int, QColor>> shown;  // decade, colour: all there is in the column
  } columns[] = {
      {180, {{2, kBlack}, {0, kBlue}}},
      {520, {{3, kRed}, {0, kBlue}}},
      {780, {{1, kBlue}, {0, kRed}}},
      {975, {{4, kBlue}}},
  };
  for (const auto& column : columns) {
    SCOPED_TRACE(column.channel);
    for (const QColor& colour : {kBlack, kRed, kBlue}) {
      std::vector<int> expected;
      for (const auto& [decade, shown] : column.shown)
        if (shown == colour) expected.push_back(row_of[decade]);
      EXPECT_EQ(RowsOf(image, Column(column.channel), colour), expected)
          << colour.name().toStdString();
    }
  }
  // Counts below 1 on the bottom row; the huge count leaves through the top.
  for (int channel = 22; channel <= 38; channel += 4)
    EXPECT_EQ(image.pixelColor(Column(channel), 532), kBlue) << channel;
  EXPECT_EQ(image.pixelColor(Column(300), 0), kBlack);
  // Twelve channel lines, every 100 channels, the last on the right edge.
  const auto lines = Runs(image, {0, (row_of[0] + row_of[1]) / 2}, {1, 0}, kGrey);
  ASSERT_EQ(lines.size(), 12U);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].second, 1) << i;
    EXPECT_NEAR(lines[i].first, std::min(924.0, i * 925.0 / 11), 1.0) << i;
  }
}

// Only finished pictures are shown; a new desktop palette shows at once,
// though nothing draws a new picture while no pulse comes.
TEST_F(PlotPixels, OnlyFinishedPicturesShowAndANewPaletteRedrawsTheOneOnShow) {
  const QImage finished = Draw();
  surface_.Cls();
  surface_.Line(0, 50, 1100, 50);
  // Not yet back in the event loop: the widget still shows the last picture.
  EXPECT_EQ(surface_.grab().toImage().convertToFormat(finished.format()), finished);
  testing::HandleEventsFor(20);
  EXPECT_NE(surface_.grab().toImage().convertToFormat(finished.format()), finished);
  QPalette palette = surface_.palette();
  palette.setColor(QPalette::Button, QColor(10, 200, 10));
  palette.setColor(QPalette::ButtonText, QColor(200, 10, 200));
  surface_.setPalette(palette);
  const QImage image = surface_.Picture();
  EXPECT_EQ(image.pixelColor(Column(650), 5), QColor(10, 200, 10));
  EXPECT_EQ(image.pixelColor(462, 266), QColor(200, 10, 200));
}

// The bar is AvgDose / 10 twips long, from the left edge of its track, and
// its edge pixels always light: at a low dose one column shows that the
// meter is alive. As the dose falls, the bar shrinks with it.
TEST(MeterPixels, TheBarLightsEveryColumnItsEdgesReach) {
  QtDrawingSurface PicMtr(QSize(81, 21), nullptr, 15.0F);  // in twips, as in the window
  testing::FakeLabel cpm, dose;
  const LocaleSeparators locale;
  const MeterControls controls{cpm, dose, PicMtr, locale};
  const QColor bar = PicMtr.palette().color(QPalette::ButtonText);
  const auto lit = [&] {
    const QImage image = PicMtr.Picture();
    std::vector<std::vector<std::pair<int, int>>> rows;
    for (const int y : {0, 10, 20}) rows.push_back(Runs(image, {0, y}, {1, 0}, bar));
    return rows;
  };
  const auto from_the_left = [](int columns) {
    return std::vector<std::vector<std::pair<int, int>>>(3, {{0, columns}});
  };
  // The channel sum of one second that makes the dose of a fresh meter: a
  // tenth of sum / 8.
  const struct {
    std::int32_t sum;
    int columns;  // lit, from column 0
  } rows[] = {{0, 1}, {4'000, 1}, {120'000, 11}, {2'000'000'000, 81}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.sum);
    RateMeter meter;
    MeasurementState state;
    state.SumSec = row.sum;
    meter.Update(state, controls);
    EXPECT_EQ(lit(), from_the_left(row.columns));
  }
  // 10,000 nGy a second for long makes a bar of 1000 twips, 66.7 pixels: 67
  // columns. Each quiet second takes a tenth off: 900 twips, 60 pixels and
  // the one its edge reaches; then 810 twips, 54 pixels and one.
  RateMeter meter;
  MeasurementState state;
  for (int second = 0; second < 200; ++second) {
    state.SumSec = 80'000;
    meter.Update(state, controls);
  }
  EXPECT_EQ(lit(), from_the_left(67));
  for (const int columns : {61, 55}) {
    meter.Update(state, controls);
    EXPECT_EQ(lit(), from_the_left(columns));
  }
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
  const auto device = [&](double pixel) { return static_cast<int>(std::floor(pixel * ratio)); };
  const auto widths = [](const std::vector<std::pair<int, int>>& runs) {
    std::vector<int> lengths;
    for (const auto& run : runs) lengths.push_back(run.second);
    return lengths;
  };

  // Down a column: the decade lines and the traces, all on the line of
  // count 1.
  const int column = device(650.0 * 925 / 1100);
  EXPECT_EQ(widths(Runs(image, {column, 0}, {0, 1}, kGrey)), std::vector<int>(4, 1));
  EXPECT_EQ(widths(Runs(image, {column, 0}, {0, 1}, kBlue)), std::vector<int>{1});
  // Along a row between decade lines: the channel lines.
  const int row = device(533 * 100.0 / 130);
  EXPECT_EQ(widths(Runs(image, {0, row}, {1, 0}, kGrey)), std::vector<int>(12, 1));
}

}  // namespace
}  // namespace pha
