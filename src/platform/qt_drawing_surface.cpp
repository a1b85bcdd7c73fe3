#include "platform/qt_drawing_surface.h"

#include <QPaintEvent>
#include <QPen>

#include "platform/qt_colour.h"

namespace pha {

QtDrawingSurface::QtDrawingSurface(QSize size, QWidget* parent, float units_per_pixel)
    : QWidget(parent), back_(size, QImage::Format_RGB32), front_(size, QImage::Format_RGB32) {
  setFixedSize(size);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::NoFocus);
  // A drawing surface's defaults: button face behind, button text in front.
  back_.fill(palette().color(QPalette::Button));
  front_.fill(palette().color(QPalette::Button));
  StartScale(units_per_pixel);
}

QtDrawingSurface::~QtDrawingSurface() = default;

QPainter& QtDrawingSurface::Painter(bool clears_everything) {
  if (!back_is_current_) {
    // Drawing goes on from the picture on show, unless it starts afresh.
    if (!clears_everything) back_ = front_.copy();
    back_is_current_ = true;
  }
  if (!painter_) {
    painter_ = std::make_unique<QPainter>(&back_);
    painter_->setRenderHint(QPainter::Antialiasing, false);
  }
  if (!show_pending_) {
    show_pending_ = true;
    QMetaObject::invokeMethod(this, &QtDrawingSurface::ShowFinishedPicture, Qt::QueuedConnection);
  }
  return *painter_;
}

void QtDrawingSurface::ShowFinishedPicture() {
  // Picture() may have shown it already, ahead of the queued call.
  if (!show_pending_) return;
  show_pending_ = false;
  if (painter_) {
    painter_->end();
    painter_.reset();
  }
  // The two images trade places instead of being copied; the new back image
  // holds the picture before last until it is cleared or brought up to date.
  std::swap(front_, back_);
  back_is_current_ = false;
  update();
}

QImage QtDrawingSurface::Picture() {
  ShowFinishedPicture();
  return front_;
}

void QtDrawingSurface::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.drawImage(event->rect(), front_, event->rect());
}

void QtDrawingSurface::ClearPixels() {
  Painter(true).fillRect(back_.rect(), palette().color(QPalette::Button));
}

void QtDrawingSurface::DrawPixelLine(double x1, double y1, double x2, double y2,
                                     std::optional<Colour> colour) {
  QPainter& painter = Painter();
  painter.setPen(PenFor(colour));
  const auto width = static_cast<double>(back_.width());
  const auto height = static_cast<double>(back_.height());
  painter.drawLine(QLineF(OntoLastPixel(x1, width), OntoLastPixel(y1, height),
                          OntoLastPixel(x2, width), OntoLastPixel(y2, height)));
}

double QtDrawingSurface::OntoLastPixel(double pixel, double size) {
  // A one-pixel line at pixel coordinate p lights the pixel that p falls in;
  // the far edge, p = size, would fall just outside. A line along the right
  // or bottom edge (the channel line at 1100, counts below 1 on the bottom
  // edge) is drawn in the last pixel instead, so that it shows.
  return pixel > size - 0.5 && pixel <= size ? size - 0.5 : pixel;
}

const QPen& QtDrawingSurface::PenFor(std::optional<Colour> colour) {
  // The plot alternates three colours segment by segment; making a pen
  // costs more than drawing the segment.
  const Colour key = colour.value_or(kForegroundKey);
  auto pen = pens_.find(key);
  if (pen == pens_.end()) {
    // A cosmetic one-pixel pen: the width does not scale with the coordinates.
    QPen made(colour ? ToQColor(*colour, palette()) : palette().color(QPalette::ButtonText));
    made.setWidth(1);
    made.setCosmetic(true);
    pen = pens_.emplace(key, made).first;
  }
  return pen->second;
}

void QtDrawingSurface::FillPixelRect(double x1, double y1, double x2, double y2) {
  Painter().fillRect(QRectF(QPointF(x1, y1), QPointF(x2, y2)).normalized(),
                     palette().color(QPalette::ButtonText));
}

}  // namespace pha
