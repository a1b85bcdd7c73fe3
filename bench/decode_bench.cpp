// Decoding throughput through the serial notification handler, with the
// window title log on: from memory, and from a pseudo-terminal through
// QSerialPort and the Qt window title.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QWidget>
#include <cstring>
#include <thread>

#include "acquisition/pulse_decoder.h"
#include "main_window/serial_port.h"
#include "platform/serial/qt_serial_port.h"
#include "platform/window/qt_window_title.h"
#include "support/detector_line.h"

namespace pha {
namespace {

std::vector<std::uint8_t> MixedFrames(int count) {
  std::vector<int> channels;
  for (int i = 0; i < count; ++i) channels.push_back(10 + (i * 389) % 1014);
  return testing::Frames(channels);
}

// Bytes already received, handed out as the port would.
class MemoryPort final : public SerialPort {
 public:
  explicit MemoryPort(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  void Rewind() { at_ = 0; }
  void SetCommPort(int) override {}
  void SetSettings(std::string_view) override {}
  void SetInputModeBinary() override {}
  void SetInputLen(int bytes) override { len_ = static_cast<std::size_t>(bytes); }
  void SetRThreshold(int) override {}
  void Open() override {}
  int CommEvent() const override { return kEvReceive; }
  int InBufferCount() const override { return static_cast<int>(bytes_.size() - at_); }
  void Input(std::span<std::uint8_t> out) override {
    std::memcpy(out.data(), bytes_.data() + at_, len_);
    at_ += len_;
  }

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t at_ = 0;
  std::size_t len_ = 2;
};

class PlainTitle final : public Window {
 public:
  const std::string& Caption() const override { return caption_; }
  void SetCaption(std::string text) override { caption_ = std::move(text); }

 private:
  std::string caption_ = "FrmQor";
};

void BM_DecodeFromMemory(benchmark::State& bench) {
  constexpr int kFrames = 65536;
  MemoryPort port(MixedFrames(kFrames));
  PlainTitle title;
  MeasurementState state;
  state.FlgRun = Flag::True;
  PulseDecoder decoder(port, title, state);
  for (auto _ : bench) {
    port.Rewind();
    state.CntSec = state.SumSec = 0;
    decoder.MSComm1_OnComm();
  }
  bench.SetItemsProcessed(bench.iterations() * kFrames);
  bench.counters["times_line_rate"] = benchmark::Counter(
      static_cast<double>(bench.iterations()) * kFrames / 960.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeFromMemory)->Unit(benchmark::kMillisecond);

void BM_DecodeFromPty(benchmark::State& bench) {
  constexpr int kFrames = 200000;
  const std::vector<std::uint8_t> bytes = MixedFrames(kFrames);
  testing::PtyDetector pty;
  QtSerialPort port({{1, pty.slave_path()}});
  QWidget window;
  QtWindowTitle title(&window);
  MeasurementState state;
  state.FlgRun = Flag::True;
  PulseDecoder decoder(port, title, state);
  port.OnComm([&] { decoder.MSComm1_OnComm(); });
  SetUpPort(port);

  for (auto _ : bench) {
    const std::int64_t target = state.CntTot + kFrames;
    std::thread writer([&] { testing::SendBytes(pty, bytes); });
    while (state.CntTot < target) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    writer.join();
    state.CntSec = state.SumSec = 0;
  }
  bench.SetItemsProcessed(bench.iterations() * kFrames);
  bench.counters["times_line_rate"] = benchmark::Counter(
      static_cast<double>(bench.iterations()) * kFrames / 960.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeFromPty)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace pha
