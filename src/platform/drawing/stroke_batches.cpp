#include "platform/drawing/stroke_batches.h"

#include <algorithm>
#include <cmath>

namespace pha {
namespace {

// Strokes are sorted into batches on a grid of cells of this many device
// pixels a side.
constexpr int kCellPixels = 8;

double OntoLastPixel(double pixel, double edge, int size) {
  // A one-pixel line at pixel coordinate p lights the pixel that p falls in;
  // the far edge, p = size, would fall just outside. A line along the right
  // or bottom edge (the channel line at 1100, counts below 1 on the bottom
  // edge) is drawn in the last pixel instead, so that it shows. In device
  // pixels the edge of the drawing area may also lie up to half a pixel
  // beyond the edge of the image, which has a whole number of pixels (or
  // before it, in the last pixel).
  const double last = static_cast<double>(size) - 0.5;
  return pixel > last && pixel <= edge ? last : pixel;
}

bool SameShape(const Stroke& a, const Stroke& b) {
  return a.x1 == b.x1 && a.y1 == b.y1 && a.x2 == b.x2 && a.y2 == b.y2 &&
         (a.slot == kFillSlot) == (b.slot == kFillSlot);
}

}  // namespace

int PixelWithin(double pixel, int last) {
  if (!(pixel > 0)) return 0;
  if (pixel >= last) return last;
  return static_cast<int>(pixel);
}

void StrokeBatches::Resize(QSize image, QSizeF edge) {
  image_ = image;
  edge_ = edge;
  columns_ = (image.width() + kCellPixels - 1) / kCellPixels;
  cells_.resize(static_cast<std::size_t>(columns_) *
                static_cast<std::size_t>((image.height() + kCellPixels - 1) / kCellPixels));
}

inline StrokeBatches::PixelBox StrokeBatches::ToDevice(const Stroke& stroke, double ratio, QLineF& line,
                                                QRectF& box) const {
  double x1 = stroke.x1 * ratio;
  double y1 = stroke.y1 * ratio;
  double x2 = stroke.x2 * ratio;
  double y2 = stroke.y2 * ratio;
  if (stroke.slot == kFillSlot) {
    // Every pixel its edges pass through lights, as when a rectangle is
    // drawn with its edges: a box narrower than a pixel (the meter's bar
    // at a low dose) still shows one column, on its left edge at zero.
    box = QRectF(QPointF(std::floor(std::min(x1, x2)), std::floor(std::min(y1, y2))),
                 QPointF(std::floor(std::max(x1, x2)) + 1, std::floor(std::max(y1, y2)) + 1));
  } else {
    x1 = OntoLastPixel(x1, edge_.width(), image_.width());
    y1 = OntoLastPixel(y1, edge_.height(), image_.height());
    x2 = OntoLastPixel(x2, edge_.width(), image_.width());
    y2 = OntoLastPixel(y2, edge_.height(), image_.height());
    line = QLineF(x1, y1, x2, y2);
  }
  const int last_column = image_.width() - 1;
  const int last_row = image_.height() - 1;
  return {
      PixelWithin(std::min(x1, x2) - 1, last_column), PixelWithin(std::min(y1, y2) - 1, last_row),
      PixelWithin(std::max(x1, x2) + 1, last_column), PixelWithin(std::max(y1, y2) + 1, last_row)};
}

void StrokeBatches::Sort(const std::vector<Stroke>& strokes, double ratio, std::size_t slot_count) {
  std::fill(cells_.begin(), cells_.end(), Cell{});
  slot_batches_.resize(slot_count);
  for (std::vector<int>& batches : slot_batches_) batches.clear();
  count_ = 0;
  const Stroke* const end = strokes.data() + strokes.size();
  for (const Stroke* stroke = strokes.data(); stroke != end; ++stroke) {
    // A stroke that one of the next two repeats exactly is covered by it.
    if ((stroke + 1 != end && SameShape(*stroke, stroke[1])) ||
        (stroke + 2 < end && SameShape(*stroke, stroke[2])))
      continue;
    QLineF line;
    QRectF box;
    const PixelBox pixels = ToDevice(*stroke, ratio, line, box);
    const std::uint32_t slot = stroke->slot;
    Cell* const first =
        cells_.data() + (pixels.y0 / kCellPixels) * columns_ + pixels.x0 / kCellPixels;
    const int columns = pixels.x1 / kCellPixels - pixels.x0 / kCellPixels + 1;
    const int rows = pixels.y1 / kCellPixels - pixels.y0 / kCellPixels + 1;
    int after = 0;
    for (int row = 0; row < rows; ++row) {
      const Cell* cell = first + row * columns_;
      for (int column = 0; column < columns; ++column, ++cell)
        after = std::max(after, cell->latest_slot != slot ? cell->latest : cell->latest_other);
    }
    const int index = BatchFrom(slot, after);
    Batch& batch = batches_[static_cast<std::size_t>(index)];
    if (slot == kFillSlot)
      batch.boxes.push_back(box);
    else
      batch.lines.push_back(line);
    const int mark = index + 1;
    for (int row = 0; row < rows; ++row) {
      Cell* cell = first + row * columns_;
      for (int column = 0; column < columns; ++column, ++cell) cell->Add(slot, mark);
    }
  }
}

void StrokeBatches::Paint(QPainter& painter, const std::vector<QPen>& pens,
                          const QColor& fill) const {
  for (std::size_t i = 0; i < count_; ++i) {
    const Batch& batch = batches_[i];
    if (batch.slot == kFillSlot) {
      for (const QRectF& box : batch.boxes) painter.fillRect(box, fill);
    } else {
      painter.setPen(pens[batch.slot - 1]);
      painter.drawLines(batch.lines.data(), static_cast<int>(batch.lines.size()));
    }
  }
}

void StrokeBatches::Cell::Add(std::uint32_t slot, int batch) {
  if (latest == 0 || latest_slot == slot) {
    latest = std::max(latest, batch);
    latest_slot = slot;
  } else if (batch > latest) {
    latest_other = latest;
    latest = batch;
    latest_slot = slot;
  } else {
    latest_other = std::max(latest_other, batch);
  }
}

int StrokeBatches::BatchFrom(std::uint32_t slot, int from) {
  std::vector<int>& mine = slot_batches_[slot];
  const auto found = std::lower_bound(mine.begin(), mine.end(), from);
  if (found != mine.end()) return *found;
  const auto index = static_cast<int>(count_++);
  if (batches_.size() < count_) batches_.emplace_back();
  Batch& batch = batches_[count_ - 1];
  batch.slot = slot;
  batch.lines.clear();
  batch.boxes.clear();
  mine.push_back(index);
  return index;
}

}  // namespace pha
