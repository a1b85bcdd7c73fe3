#include "platform/qt_drawing_surface.h"

#include <QPaintEvent>
#include <QPen>

#include "platform/qt_colour.h"

namespace pha {

QtDrawingSurface::QtDrawingSurface(QSize size, QWidget* parent)
    : QWidget(parent),
      back_(size, QImage::Format_RGB32),
      front_(size, QImage::Format_RGB32) {
  setFixedSize(size);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::NoFocus);
  // A drawing surface's defaults: button face behind, button text in front.
  back_.fill(palette().color(QPalette::Button));
  front_ = back_;
  ResetToPixels();
}

QtDrawingSurface::~QtDrawingSurface() = default;

QPainter& QtDrawingSurface::Painter() {
  if (!painter_) {
    painter_ = std::make_unique<QPainter>(&back_);
    painter_->setRenderHint(QPainter::Antialiasing, false);
  }
  if (!show_pending_) {
    show_pending_ = true;
    QMetaObject::invokeMethod(this, &QtDrawingSurface::ShowFinishedPicture,
                              Qt::QueuedConnection);
  }
  return *painter_;
}

void QtDrawingSurface::ShowFinishedPicture() {
  show_pending_ = false;
  if (painter_) {
    painter_->end();
    painter_.reset();
  }
  front_ = back_;
  update();
}

QImage QtDrawingSurface::Picture() {
  if (show_pending_) ShowFinishedPicture();
  return front_;
}

void QtDrawingSurface::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.drawImage(event->rect(), front_, event->rect());
}

void QtDrawingSurface::ClearPixels() {
  Painter().fillRect(back_.rect(), palette().color(QPalette::Button));
}

void QtDrawingSurface::DrawPixelLine(double x1, double y1, double x2, double y2,
                                     std::optional<Colour> colour) {
  QPainter& painter = Painter();
  painter.setPen(PenFor(colour));
  painter.drawLine(QLineF(x1, y1, x2, y2));
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
