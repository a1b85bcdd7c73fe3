// Plain fakes of the window, serial, file and clock operations, for tests of
// the logic without Qt.
#pragma once

#include <cstdint>
#include <deque>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "main_window/files_and_clock.h"
#include "main_window/scaled_surface.h"
#include "main_window/serial_port.h"
#include "main_window/window_ops.h"

namespace pha::testing {

class FakeWindow : public Window {
 public:
  const std::string& Caption() const override { return caption; }
  void SetCaption(std::string text) override { caption = std::move(text); }
  std::string caption = "FrmQor";
};

class FakeLabel : public Label {
 public:
  void SetCaption(std::string_view text) override { caption = text; }
  std::string caption;
};

class FakeButton : public Button {
 public:
  std::string Caption() const override { return caption; }
  void SetCaption(std::string_view text) override { caption = text; }
  void SetBackColor(Colour colour) override { back_color = colour; }
  std::string caption = "Run";
  Colour back_color = kButtonFaceColour;
};

// Items carry the seconds of "10 sec", "1 min" and "24 hour".
class FakeComboBox : public ComboBox {
 public:
  int ListIndex() const override { return index; }
  void SetListIndex(int i) override { index = i; }
  std::int32_t ItemData(int i) const override { return seconds.at(static_cast<std::size_t>(i)); }
  std::vector<std::int32_t> seconds{10, 60, 86400};
  int index = -1;
};

// A raster of W x H pixels that counts what is drawn on it.
class CountingSurface : public ScaledSurface {
 public:
  explicit CountingSurface(int pixel_width = 925, int pixel_height = 533)
      : width_(pixel_width), height_(pixel_height) {
    StartScale(1.0F);
  }
  int drawings = 0;  // clears, lines and boxes

 private:
  int PixelWidth() const override { return width_; }
  int PixelHeight() const override { return height_; }
  void ClearPixels() override { ++drawings; }
  void DrawPixelLine(double, double, double, double, std::optional<Colour>) override { ++drawings; }
  void FillPixelRect(double, double, double, double) override { ++drawings; }
  int width_, height_;
};

class FakeMessages : public Messages {
 public:
  void ShowError(std::string_view message) override { errors.emplace_back(message); }
  std::vector<std::string> errors;
};

// A serial port fed from a script: the test pushes bytes, then notifies.
class ScriptedSerialPort : public SerialPort {
 public:
  void SetCommPort(int) override {}
  void SetSettings(std::string_view) override {}
  void SetInputModeBinary() override {}
  void SetInputLen(int bytes) override { input_len = bytes; }
  void SetRThreshold(int) override {}
  void Open() override {}
  int CommEvent() const override { return event; }
  int InBufferCount() const override { return static_cast<int>(waiting.size()); }
  void Input(std::span<std::uint8_t> out) override {
    if (static_cast<int>(waiting.size()) < input_len) throw std::logic_error("read too soon");
    for (int i = 0; i < input_len; ++i, waiting.pop_front()) out[std::size_t(i)] = waiting.front();
  }
  void PushFrame(int channel) {
    waiting.insert(waiting.end(), {std::uint8_t(channel & 0xFF), std::uint8_t(channel >> 8)});
  }

  std::deque<std::uint8_t> waiting;
  int event = kEvReceive;
  int input_len = 0;
};

// A file system with nothing in it: every read and write fails.
class NoFiles : public FileSystem {
 public:
  WorkingDirectory CurrentDirectory() const override { return {"/nowhere", std::nullopt}; }
  FileContents ReadFile(const std::string& path) const override {
    return {{}, FileFailure{FileProblem::kOther, "cannot read " + path}};
  }
  FileError WriteFileReplacing(const std::string& path, std::string_view) override {
    return FileFailure{FileProblem::kOther, "cannot write " + path};
  }
  FileError WriteNewFile(const std::string& path, std::string_view bytes) override {
    return WriteFileReplacing(path, bytes);
  }
  FileError CheckWritableFolder(const std::string& path) const override {
    return FileFailure{FileProblem::kNoFolder, "the folder " + path + " does not exist"};
  }
};

class FakeClock : public Clock {
 public:
  LocalDateTime Now() const override { return now; }
  LocalDateTime now{2021, 3, 5, 9, 7, 3};
};

class FakeMonotonicClock : public MonotonicClock {
 public:
  std::int64_t NowMs() const override { return now_ms; }
  std::int64_t now_ms = 1'000'000;
};

}  // namespace pha::testing
