// The user coordinate system of a drawing surface, on top of a raster of
// W x H pixels. A platform surface supplies the pixel operations.
#pragma once

#include <optional>

#include "main_window/window_ops.h"

namespace pha {

class ScaledSurface : public DrawingSurface {
 public:
  void Cls() final { ClearPixels(); }
  void SetScaleMode(int mode) final;
  float ScaleLeft() const final { return left_; }
  float ScaleTop() const final { return top_; }
  float ScaleWidth() const final { return width_; }
  float ScaleHeight() const final { return height_; }
  void SetScaleLeft(float value) final { left_ = value; }
  void SetScaleTop(float value) final { top_ = value; }
  void SetScaleWidth(float value) final { width_ = value; }
  void SetScaleHeight(float value) final { height_ = value; }
  void Line(float x1, float y1, float x2, float y2) final;
  void Line(float x1, float y1, float x2, float y2, Colour colour) final;
  void LineBox(float x1, float y1, float x2, float y2) final;

  // The pixel position of a point in user units; x = ScaleLeft is column 0.
  double PixelX(float x) const;
  double PixelY(float y) const;

 protected:
  // Starts with the origin top-left, x right, y down, in units of which
  // `units_per_pixel` make a pixel.
  void StartScale(float units_per_pixel);

  virtual int PixelWidth() const = 0;
  virtual int PixelHeight() const = 0;
  virtual void ClearPixels() = 0;
  // Points in pixels, always finite; may lie outside the raster. No colour
  // means the foreground colour.
  virtual void DrawPixelLine(double x1, double y1, double x2, double y2,
                             std::optional<Colour> colour) = 0;
  virtual void FillPixelRect(double x1, double y1, double x2, double y2) = 0;

 private:
  // PixelWidth() and PixelHeight() as the last scale took them: a redraw
  // maps some 13,000 coordinates with them.
  void TakePixelSize();

  double pixel_width_ = 0.0;
  double pixel_height_ = 0.0;
  float left_ = 0.0F;
  float top_ = 0.0F;
  float width_ = 1.0F;
  float height_ = 1.0F;
};

}  // namespace pha
