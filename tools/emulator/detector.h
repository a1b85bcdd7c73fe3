// The emulated detector unit as a whole: a pty behind a fixed link, the pulse
// stream written into it, and, on request, a cable that is pulled and put
// back again.
#pragma once

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "emulator/frame_generator.h"
#include "emulator/pty_detector.h"

namespace pha::emulator {

struct Plugging {
  // Every `unplug_every` the pty is closed, as an unplugged adapter vanishes;
  // after `unplug_for` a new pty appears behind the same link. Zero: never.
  std::chrono::milliseconds unplug_every{0};
  std::chrono::milliseconds unplug_for{2000};
};

// Runs on a thread of its own from Start() to Stop(). Each time the detector
// is plugged in anew its frames start afresh from a seed of their own, so
// that they differ from the last time.
class Detector {
 public:
  // Throws std::invalid_argument when CheckOptions() finds a problem, and
  // what PtyDetector throws when the first pty cannot be made.
  Detector(std::filesystem::path link_path, const Options& options, Plugging plugging = {});
  ~Detector();  // stops
  Detector(const Detector&) = delete;
  Detector& operator=(const Detector&) = delete;

  void Start();
  void Stop();
  // The frame count has been sent, a write failed, or Stop() was called.
  bool Finished() const;

  // Totals over every time the detector was plugged in.
  Statistics Stats() const;
  std::string Error() const;
  // The device the link points to now; empty while unplugged.
  std::string SlavePath() const;
  const std::filesystem::path& LinkPath() const { return link_path_; }

 private:
  void Run();
  // Waits for `time` or Stop(); returns true when stopping.
  bool Sleep(std::chrono::milliseconds time);

  std::filesystem::path link_path_;
  Options options_;
  Plugging plugging_;
  std::thread thread_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool stop_ = false;
  bool finished_ = false;
  Statistics stats_;
  std::string error_;
  std::string slave_path_;
  std::unique_ptr<PtyDetector> first_pty_;  // made by the constructor for the first run
};

}  // namespace pha::emulator
