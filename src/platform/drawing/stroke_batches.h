// The strokes of a picture (segments and filled boxes), and their painting in
// batches of one pen each: painting stroke by stroke, most of the time would
// go to changing pens.
#pragma once

#include <QColor>
#include <QLineF>
#include <QPainter>
#include <QPen>
#include <QRectF>
#include <QSize>
#include <cstdint>
#include <vector>

namespace pha {

// One drawing operation in logical pixels: a segment in the pen `slot`
// (pen slot - 1 of those handed to Paint()), or a filled box (kFillSlot).
struct Stroke {
  double x1, y1, x2, y2;
  std::uint32_t slot;
  bool operator==(const Stroke&) const = default;
};
inline constexpr std::uint32_t kFillSlot = 0;

// The pixel that `pixel` falls in, or the nearer of 0 and `last`.
int PixelWithin(double pixel, int last);

// The strokes of a picture in device pixels, sorted into batches of one pen
// each and painted one batch after another.
//
// Where strokes overlap, the later one covers the earlier, and the batches
// keep it so: a stroke joins the first batch of its pen that comes after
// every batch of another pen holding an earlier stroke that may share a
// pixel with it. (The plot's three traces run interleaved channel by
// channel, and a channel is less than a pixel wide.) Whether two strokes may
// share a pixel is told from the cells of a grid that they touch.
class StrokeBatches {
 public:
  // An image of `image` device pixels for a drawing area of `edge` of them.
  void Resize(QSize image, QSizeF edge);
  // Sorts `strokes` (in logical pixels, `ratio` device pixels to one) for
  // pens of `slot_count` slots, the fill's included.
  void Sort(const std::vector<Stroke>& strokes, double ratio, std::size_t slot_count);
  // Paints what Sort() sorted: boxes in `fill`, segments in `pens`.
  void Paint(QPainter& painter, const std::vector<QPen>& pens, const QColor& fill) const;

 private:
  // The device pixels a stroke may light, inclusive, within the image.
  struct PixelBox {
    int x0, y0, x1, y1;
  };
  struct Batch {
    std::uint32_t slot = 0;
    std::vector<QLineF> lines;
    std::vector<QRectF> boxes;
  };
  // What a cell holds: the latest batch that paints in it, its slot, and the
  // latest batch of any other slot that paints in it; batches counted from 1,
  // 0 for none.
  struct Cell {
    int latest = 0;
    std::uint32_t latest_slot = 0;
    int latest_other = 0;
    void Add(std::uint32_t slot, int batch);
  };

  // The stroke in device pixels, as a line or a box, and the pixels it may
  // light: a one-pixel line or a box lights pixels at most one pixel beyond
  // the pixels its ends fall in.
  [[gnu::always_inline]] PixelBox ToDevice(const Stroke& stroke, double ratio, QLineF& line,
                                           QRectF& box) const;
  // The first batch of `slot` from batch `from` on (counted from 0), a new
  // one at the end if there is none.
  int BatchFrom(std::uint32_t slot, int from);

  QSize image_;
  QSizeF edge_;
  int columns_ = 0;
  std::vector<Cell> cells_;
  std::vector<Batch> batches_;  // the first count_ are in use
  std::size_t count_ = 0;
  std::vector<std::vector<int>> slot_batches_;  // each slot's batches, in order
};

}  // namespace pha
