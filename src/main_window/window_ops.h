// The few window operations the logic uses to reach the screen.
//
// Every control of the window is reached through one of these small
// interfaces; src/platform implements them on Qt Widgets and the tests use
// plain fakes. Text is UTF-8 throughout.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pha {

// A 24-bit colour written 0xBBGGRR: red in the low byte.
using Colour = std::uint32_t;

constexpr Colour Rgb(int red, int green, int blue) {
  return static_cast<Colour>(red) | static_cast<Colour>(green) << 8 |
         static_cast<Colour>(blue) << 16;
}

// The system colour of a push button's face: not an RGB value but a name the
// platform resolves to its own button-face colour (system colour number 15).
constexpr Colour kButtonFaceColour = 0x8000000F;

// The top-level window: its title.
class Window {
 public:
  virtual ~Window() = default;
  // Returns exactly the text last written, of any length.
  virtual const std::string& Caption() const = 0;
  virtual void SetCaption(std::string text) = 0;
};

// A one-line value label; the text shows at once.
class Label {
 public:
  virtual ~Label() = default;
  virtual void SetCaption(std::string_view text) = 0;
};

// A push button whose face shows its background colour.
class Button {
 public:
  virtual ~Button() = default;
  // Returns exactly the text last written.
  virtual std::string Caption() const = 0;
  virtual void SetCaption(std::string_view text) = 0;
  // An 0xBBGGRR colour, or kButtonFaceColour.
  virtual void SetBackColor(Colour colour) = 0;
};

// A pick-only drop-down list whose items each carry an integer.
class ComboBox {
 public:
  virtual ~ComboBox() = default;
  // The selected position, -1 when nothing is selected.
  virtual int ListIndex() const = 0;
  virtual void SetListIndex(int index) = 0;
  virtual std::int32_t ItemData(int index) const = 0;
};

// A drawing surface with a user coordinate system.
//
// On a drawing area of W x H pixels the point (x, y) lies at pixel column
// (x - ScaleLeft) * W / ScaleWidth and pixel row (y - ScaleTop) * H /
// ScaleHeight; a negative height makes y grow upwards. Whatever lies outside
// the surface is clipped without error.
class DrawingSurface {
 public:
  static constexpr int kScaleModePixels = 3;

  virtual ~DrawingSurface() = default;
  // Clears the whole surface to its background colour.
  virtual void Cls() = 0;
  // kScaleModePixels puts left and top at 0, width at W and height at H.
  virtual void SetScaleMode(int mode) = 0;
  virtual float ScaleLeft() const = 0;
  virtual float ScaleTop() const = 0;
  virtual float ScaleWidth() const = 0;
  virtual float ScaleHeight() const = 0;
  // Each setter changes only its own value.
  virtual void SetScaleLeft(float value) = 0;
  virtual void SetScaleTop(float value) = 0;
  virtual void SetScaleWidth(float value) = 0;
  virtual void SetScaleHeight(float value) = 0;
  // A segment in the surface's foreground colour.
  virtual void Line(float x1, float y1, float x2, float y2) = 0;
  // A segment in the given colour.
  virtual void Line(float x1, float y1, float x2, float y2, Colour colour) = 0;
  // The box form: the rectangle with the two points as opposite corners,
  // filled in the foreground colour.
  virtual void LineBox(float x1, float y1, float x2, float y2) = 0;
};

// Messages to the operator.
class Messages {
 public:
  virtual ~Messages() = default;
  // Reports a failure the program survives. Never blocks the event loop:
  // pulses keep being counted while the message is shown.
  virtual void ShowError(std::string_view message) = 0;
};

// What the display formats take from the user's locale.
struct LocaleSeparators {
  std::string thousands = ",";
  std::string time = ":";
};

}  // namespace pha
