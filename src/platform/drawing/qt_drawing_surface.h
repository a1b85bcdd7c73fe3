// A drawing surface widget that paints into an off-screen image and shows
// only finished pictures.
#pragma once

#include <QImage>
#include <QPen>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <vector>

#include "main_window/scaled_surface.h"
#include "platform/drawing/stroke_batches.h"

namespace pha {

class QtDrawingSurface final : public QWidget, public ScaledSurface {
  Q_OBJECT

 public:
  // `size` is the drawing area in (logical) pixels; the widget keeps it.
  // Until the program sets other coordinates, `units_per_pixel` user units
  // make a pixel, from the top-left corner.
  explicit QtDrawingSurface(QSize size, QWidget* parent = nullptr, float units_per_pixel = 1.0F);
  ~QtDrawingSurface() override;

  // The last finished picture, after finishing the one being drawn: the
  // drawing area at the screen's device pixel ratio (devicePixelRatio() of
  // the image), one image pixel a device pixel.
  QImage Picture();

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

  int PixelWidth() const override { return size_.width(); }
  int PixelHeight() const override { return size_.height(); }
  void ClearPixels() override;
  void DrawPixelLine(double x1, double y1, double x2, double y2,
                     std::optional<Colour> colour) override;
  void FillPixelRect(double x1, double y1, double x2, double y2) override;

 private:
  void ShowWhenFinished();
  void ShowFinishedPicture();
  // Takes on the screen's device pixel ratio; true if it changed.
  bool AdoptPixelRatio();
  // The pens in the colours of the palette now.
  void MakePens();
  // Draws the picture on show again from its strokes, at the ratio and in the
  // colours of now; false when its strokes are not known.
  bool RedrawShown();
  // Paints `strokes` onto `image`, a picture at the surface's ratio.
  void Render(QImage& image, const std::vector<Stroke>& strokes);
  // Counts the pixels that `stroke` may light among those a new picture
  // changes on the screen; Changed() is all of them, in logical pixels.
  void MarkChanged(const Stroke& stroke);
  QRect Changed() const;
  // Whether the picture now on show has the pixels of the one before it in
  // `changed` (logical pixels), when that is small enough to look.
  bool SamePixels(const QRect& changed) const;
  std::uint32_t SlotFor(std::optional<Colour> colour);

  QSize size_;          // the drawing area in logical pixels
  double ratio_ = 0.0;  // device pixels per logical pixel
  QImage back_;         // device pixels
  QImage front_;        // the picture on show
  bool show_pending_ = false;
  // The picture being drawn: whether it starts from a clear surface or from
  // the picture on show, and its strokes since.
  bool clears_ = false;
  std::vector<Stroke> pending_;
  // The strokes of the picture on show since its surface was cleared, to
  // draw it again at another pixel ratio and to tell what a new picture
  // changes; unknown once the surface went too long without a clear.
  std::vector<Stroke> shown_;
  bool shown_known_ = true;
  // The pens and their colours, the foreground pen first; pen n paints
  // slot n + 1.
  std::vector<QPen> pens_;
  std::vector<std::int64_t> pen_colours_;
  std::unique_ptr<StrokeBatches> batches_;
  // The bounds of the strokes a new picture changes, in logical pixels.
  double changed_left_ = 0;
  double changed_top_ = 0;
  double changed_right_ = 0;
  double changed_bottom_ = 0;
};

}  // namespace pha
