// A drawing surface widget that paints into an off-screen image and shows
// only finished pictures.
#pragma once

#include <QImage>
#include <QPainter>
#include <QWidget>
#include <memory>

#include "main_window/scaled_surface.h"

namespace pha {

class QtDrawingSurface final : public QWidget, public ScaledSurface {
  Q_OBJECT

 public:
  // `size` is the drawing area in pixels; the widget keeps it.
  explicit QtDrawingSurface(QSize size, QWidget* parent = nullptr);
  ~QtDrawingSurface() override;

  // The last finished picture, after finishing the one being drawn.
  QImage Picture();

 protected:
  void paintEvent(QPaintEvent* event) override;

  int PixelWidth() const override { return back_.width(); }
  int PixelHeight() const override { return back_.height(); }
  void ClearPixels() override;
  void DrawPixelLine(double x1, double y1, double x2, double y2,
                     std::optional<Colour> colour) override;
  void FillPixelRect(double x1, double y1, double x2, double y2) override;

 private:
  // Drawing goes to the back image; the picture is shown once the handler
  // that draws it has returned to the event loop.
  QPainter& Painter();
  void ShowFinishedPicture();

  QImage back_;
  QImage front_;
  std::unique_ptr<QPainter> painter_;
  bool show_pending_ = false;
};

}  // namespace pha
