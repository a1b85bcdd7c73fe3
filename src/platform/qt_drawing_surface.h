// A drawing surface widget that paints into an off-screen image and shows
// only finished pictures.
#pragma once

#include <QImage>
#include <QPainter>
#include <QPen>
#include <QWidget>
#include <memory>
#include <unordered_map>

#include "main_window/scaled_surface.h"

namespace pha {

class QtDrawingSurface final : public QWidget, public ScaledSurface {
  Q_OBJECT

 public:
  // `size` is the drawing area in pixels; the widget keeps it. Until the
  // program sets other coordinates, `units_per_pixel` user units make a
  // pixel, from the top-left corner.
  explicit QtDrawingSurface(QSize size, QWidget* parent = nullptr, float units_per_pixel = 1.0F);
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
  QPainter& Painter(bool clears_everything = false);
  static double OntoLastPixel(double pixel, double size);
  const QPen& PenFor(std::optional<Colour> colour);
  void ShowFinishedPicture();

  QImage back_;
  QImage front_;
  std::unique_ptr<QPainter> painter_;
  bool show_pending_ = false;
  bool back_is_current_ = true;  // the back image holds the latest drawing
  // Pens by colour; the foreground pen under a key no colour can take.
  static constexpr Colour kForegroundKey = 0xFFFFFFFF;
  std::unordered_map<Colour, QPen> pens_;
};

}  // namespace pha
