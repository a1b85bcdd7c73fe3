#include "platform/drawing/qt_drawing_surface.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/qt_colour.h"

namespace pha {
namespace {

// The foreground pen's key among the colours of the pens.
constexpr std::int64_t kForegroundKey = -1;
// Beyond this many strokes without a clear, the surface stops keeping them.
constexpr std::size_t kMaxKeptStrokes = std::size_t{1} << 16;

// Qt's fill of an image and of a rectangle of whole pixels (QImage::fill,
// QPainter::fillRect) runs AVX2 code and returns with the upper halves of
// the vector registers still in use: it leaves out the vzeroupper that
// should end such code. Until they are cleared, every SSE instruction of the
// program's own (built for plain x86-64) waits on them, and on some CPUs a
// redraw took a third longer for it. Clearing them once after each fill
// costs nothing.
#if defined(__x86_64__)
__attribute__((target("avx"))) void ZeroUpperHalves() { _mm256_zeroupper(); }
void AfterQtFill() {
  static const bool avx = __builtin_cpu_supports("avx");
  if (avx) ZeroUpperHalves();
}
#else
void AfterQtFill() {}
#endif

void Fill(QImage& image, const QColor& colour) {
  image.fill(colour);
  AfterQtFill();
}

QPen CosmeticPen(const QColor& colour) {
  // One device pixel wide at any ratio.
  QPen pen(colour);
  pen.setWidth(1);
  pen.setCosmetic(true);
  return pen;
}

}  // namespace

QtDrawingSurface::QtDrawingSurface(QSize size, QWidget* parent, float units_per_pixel)
    : QWidget(parent), size_(size), batches_(std::make_unique<StrokeBatches>()) {
  setFixedSize(size);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::NoFocus);
  // A drawing surface's defaults: button face behind, button text in front.
  pen_colours_.push_back(kForegroundKey);
  pens_.push_back(QPen());
  MakePens();
  AdoptPixelRatio();
  StartScale(units_per_pixel);
}

QtDrawingSurface::~QtDrawingSurface() = default;

bool QtDrawingSurface::AdoptPixelRatio() {
  const double ratio = devicePixelRatioF();
  if (ratio == ratio_) return false;
  ratio_ = ratio;
  // Rounded as Qt rounds the window's own device pixels.
  const QSize device = size_ * ratio;
  batches_->Resize(device, QSizeF(size_) * ratio);
  back_ = QImage(device, QImage::Format_RGB32);
  // The picture on show is drawn again from its strokes or, if they are not
  // known, enlarged until the next picture.
  if (!RedrawShown()) {
    front_ = front_.scaled(device);
    front_.setDevicePixelRatio(ratio_);
  }
  return true;
}

void QtDrawingSurface::MakePens() {
  for (std::size_t pen = 0; pen < pens_.size(); ++pen) {
    const std::int64_t key = pen_colours_[pen];
    pens_[pen] = CosmeticPen(key == kForegroundKey ? palette().color(QPalette::ButtonText)
                                                   : ToQColor(static_cast<Colour>(key), palette()));
  }
}

bool QtDrawingSurface::RedrawShown() {
  if (!shown_known_) return false;
  QImage front(size_ * ratio_, QImage::Format_RGB32);
  Fill(front, palette().color(QPalette::Button));
  Render(front, shown_);
  front_ = front;
  front_.setDevicePixelRatio(ratio_);
  return true;
}

bool QtDrawingSurface::event(QEvent* event) {
  switch (event->type()) {
    // A move to another screen; from Qt 6.6 on, also a change of the ratio of
    // the screen the window is on. Other changes of the ratio show with the
    // next picture or paint.
    case QEvent::ScreenChangeInternal:
#if QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)
    case QEvent::DevicePixelRatioChange:
#endif
      if (AdoptPixelRatio()) update();
      break;
    case QEvent::PaletteChange:
    case QEvent::StyleChange:
      // The colours of the background and the foreground come from the
      // palette: the picture on show is drawn again in the new ones at once,
      // even when nothing draws a new one for a long while (no pulses).
      MakePens();
      if (RedrawShown()) update();
      break;
    default:
      break;
  }
  return QWidget::event(event);
}

void QtDrawingSurface::ShowWhenFinished() {
  // The picture is shown once the handler that draws it has returned to the
  // event loop.
  if (show_pending_) return;
  show_pending_ = true;
  QMetaObject::invokeMethod(this, &QtDrawingSurface::ShowFinishedPicture, Qt::QueuedConnection);
}

void QtDrawingSurface::ClearPixels() {
  ShowWhenFinished();
  clears_ = true;
  pending_.clear();
}

void QtDrawingSurface::DrawPixelLine(double x1, double y1, double x2, double y2,
                                     std::optional<Colour> colour) {
  ShowWhenFinished();
  pending_.push_back({x1, y1, x2, y2, SlotFor(colour)});
}

void QtDrawingSurface::FillPixelRect(double x1, double y1, double x2, double y2) {
  ShowWhenFinished();
  pending_.push_back({x1, y1, x2, y2, kFillSlot});
}

std::uint32_t QtDrawingSurface::SlotFor(std::optional<Colour> colour) {
  // The plot alternates three colours segment by segment; making a pen
  // costs more than drawing the segment.
  const std::int64_t key = colour ? std::int64_t{*colour} : kForegroundKey;
  for (std::size_t pen = 0; pen < pen_colours_.size(); ++pen)
    if (pen_colours_[pen] == key) return static_cast<std::uint32_t>(pen + 1);
  pen_colours_.push_back(key);
  pens_.push_back(CosmeticPen(ToQColor(*colour, palette())));
  return static_cast<std::uint32_t>(pens_.size());
}

void QtDrawingSurface::Render(QImage& image, const std::vector<Stroke>& strokes) {
  if (strokes.empty()) return;
  batches_->Sort(strokes, ratio_, pens_.size() + 1);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing, false);
  // Under a clip rectangle of the painter's own, the raster engine writes the
  // pixels of one-pixel lines straight into the image; without one it hands
  // them on, line by line, to its clipping.
  painter.setClipRect(image.rect());
  batches_->Paint(painter, pens_, palette().color(QPalette::ButtonText));
  painter.end();
  AfterQtFill();  // of the boxes
}

void QtDrawingSurface::MarkChanged(const Stroke& stroke) {
  changed_left_ = std::min({changed_left_, stroke.x1, stroke.x2});
  changed_top_ = std::min({changed_top_, stroke.y1, stroke.y2});
  changed_right_ = std::max({changed_right_, stroke.x1, stroke.x2});
  changed_bottom_ = std::max({changed_bottom_, stroke.y1, stroke.y2});
}

QRect QtDrawingSurface::Changed() const {
  if (changed_left_ > changed_right_) return {};
  // A stroke lights pixels less than two device pixels beyond its ends.
  const double margin = 2 / ratio_;
  const int right = size_.width() - 1;
  const int bottom = size_.height() - 1;
  return QRect(QPoint(PixelWithin(changed_left_ - margin, right),
                      PixelWithin(changed_top_ - margin, bottom)),
               QPoint(PixelWithin(changed_right_ + margin, right),
                      PixelWithin(changed_bottom_ + margin, bottom)));
}

void QtDrawingSurface::ShowFinishedPicture() {
  // Picture() may have shown it already, ahead of the queued call.
  if (!show_pending_) return;
  show_pending_ = false;
  const bool whole = AdoptPixelRatio() || (clears_ && !shown_known_);
  if (clears_ && !whole && pending_ == shown_) {
    // The same picture again: nothing to paint or to show.
    clears_ = false;
    pending_.clear();
    return;
  }

  // The new picture goes into the back image, which holds the picture before
  // last.
  if (clears_) {
    Fill(back_, palette().color(QPalette::Button));
  } else {
    back_ = front_.copy();
    back_.setDevicePixelRatio(1.0);
  }
  Render(back_, pending_);

  // On the screen, only the pixels of strokes that differ from those of the
  // picture on show change, where they were and where they are: elsewhere
  // the same strokes light the same pixels in the same order.
  changed_left_ = changed_top_ = std::numeric_limits<double>::infinity();
  changed_right_ = changed_bottom_ = -std::numeric_limits<double>::infinity();
  if (!whole) {
    const std::size_t common = clears_ ? std::min(shown_.size(), pending_.size()) : 0;
    for (std::size_t i = 0; i < common; ++i) {
      if (shown_[i] == pending_[i]) continue;
      MarkChanged(shown_[i]);
      MarkChanged(pending_[i]);
    }
    if (clears_)
      for (std::size_t i = common; i < shown_.size(); ++i) MarkChanged(shown_[i]);
    for (std::size_t i = common; i < pending_.size(); ++i) MarkChanged(pending_[i]);
  }

  if (clears_) {
    shown_.swap(pending_);
    shown_known_ = true;
  } else if (shown_known_) {
    shown_.insert(shown_.end(), pending_.begin(), pending_.end());
  }
  if (shown_.size() > kMaxKeptStrokes) {
    shown_known_ = false;
    shown_.clear();
  }
  clears_ = false;
  pending_.clear();

  // The two images trade places instead of being copied.
  std::swap(front_, back_);
  front_.setDevicePixelRatio(ratio_);
  back_.setDevicePixelRatio(1.0);
  if (whole) {
    update();
  } else if (const QRect changed = Changed(); !changed.isNull() && !SamePixels(changed)) {
    update(changed);
  }
}

bool QtDrawingSurface::SamePixels(const QRect& changed) const {
  // The meter's bar shrinks by a tenth each quiet second, long after it has
  // become too short to show: a small area is compared before it is shown.
  constexpr int kLargestComparedPixels = 64 * 64;
  const QRect device(
      QPoint(static_cast<int>(changed.left() * ratio_), static_cast<int>(changed.top() * ratio_)),
      QPoint(std::min(static_cast<int>((changed.right() + 1) * ratio_), front_.width() - 1),
             std::min(static_cast<int>((changed.bottom() + 1) * ratio_), front_.height() - 1)));
  if (device.width() * device.height() > kLargestComparedPixels) return false;
  const auto bytes = static_cast<std::size_t>(device.width()) * sizeof(QRgb);
  for (int y = device.top(); y <= device.bottom(); ++y) {
    const auto* shown = reinterpret_cast<const QRgb*>(back_.constScanLine(y)) + device.left();
    const auto* next = reinterpret_cast<const QRgb*>(front_.constScanLine(y)) + device.left();
    if (std::memcmp(shown, next, bytes) != 0) return false;
  }
  return true;
}

QImage QtDrawingSurface::Picture() {
  ShowFinishedPicture();
  return front_;
}

void QtDrawingSurface::paintEvent(QPaintEvent*) {
  // After a change of ratio not announced by an event, the picture is drawn
  // again for the new ratio and shown whole.
  if (AdoptPixelRatio()) update();
  // The image has the widget's ratio: one image pixel to a device pixel.
  QPainter painter(this);
  painter.drawImage(QPointF(0, 0), front_);
}

}  // namespace pha
