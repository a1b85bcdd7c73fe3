#include "main_window/scaled_surface.h"

#include <algorithm>
#include <cmath>

namespace pha {
namespace {

// Far enough outside any raster to be clipped, near enough for the pixel
// arithmetic of a painter to stay exact.
constexpr double kFarOutsidePixels = 1.0e6;

// Pixel coordinates are kept within a million pixels of the raster: one that
// maps to no finite pixel (a zero scale width, say) or lies further out is
// put there. A segment with an end that far out may bend where it is clipped;
// no drawing of the program's own comes near (the plot's farthest point lies
// some 400 pixels above the top edge).
double Finite(double pixel) {
  if (std::isnan(pixel)) return -kFarOutsidePixels;
  return std::clamp(pixel, -kFarOutsidePixels, kFarOutsidePixels);
}

}  // namespace

void ScaledSurface::TakePixelSize() {
  pixel_width_ = PixelWidth();
  pixel_height_ = PixelHeight();
}

void ScaledSurface::SetScaleMode(int mode) {
  if (mode != kScaleModePixels) return;
  TakePixelSize();
  left_ = 0.0F;
  top_ = 0.0F;
  width_ = static_cast<float>(PixelWidth());
  height_ = static_cast<float>(PixelHeight());
}

void ScaledSurface::StartScale(float units_per_pixel) {
  TakePixelSize();
  left_ = 0.0F;
  top_ = 0.0F;
  width_ = static_cast<float>(PixelWidth()) * units_per_pixel;
  height_ = static_cast<float>(PixelHeight()) * units_per_pixel;
}

double ScaledSurface::PixelX(float x) const {
  return Finite((static_cast<double>(x) - left_) * pixel_width_ / width_);
}

double ScaledSurface::PixelY(float y) const {
  return Finite((static_cast<double>(y) - top_) * pixel_height_ / height_);
}

void ScaledSurface::Line(float x1, float y1, float x2, float y2) {
  DrawPixelLine(PixelX(x1), PixelY(y1), PixelX(x2), PixelY(y2), std::nullopt);
}

void ScaledSurface::Line(float x1, float y1, float x2, float y2, Colour colour) {
  DrawPixelLine(PixelX(x1), PixelY(y1), PixelX(x2), PixelY(y2), colour);
}

void ScaledSurface::LineBox(float x1, float y1, float x2, float y2) {
  FillPixelRect(PixelX(x1), PixelY(y1), PixelX(x2), PixelY(y2));
}

}  // namespace pha
