#include "emulator/detector.h"

#include <stdexcept>

#include "emulator/runner.h"

namespace pha::emulator {
namespace {

// How often a plugged-in period looks whether its time is up.
constexpr std::chrono::milliseconds kLookEvery{100};

}  // namespace

Detector::Detector(std::filesystem::path link_path, const Options& options, Plugging plugging)
    : link_path_(std::move(link_path)), options_(options), plugging_(plugging) {
  if (const std::string problem = CheckOptions(options); !problem.empty())
    throw std::invalid_argument(problem);
  first_pty_ = std::make_unique<PtyDetector>(link_path_);
  slave_path_ = first_pty_->slave_path();
}

Detector::~Detector() { Stop(); }

void Detector::Start() {
  if (!thread_.joinable() && first_pty_) thread_ = std::thread(&Detector::Run, this);
}

void Detector::Stop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(mutex_);
  finished_ = true;
}

bool Detector::Finished() const {
  std::lock_guard lock(mutex_);
  return finished_;
}

Statistics Detector::Stats() const {
  std::lock_guard lock(mutex_);
  return stats_;
}

std::string Detector::Error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

std::string Detector::SlavePath() const {
  std::lock_guard lock(mutex_);
  return slave_path_;
}

bool Detector::Sleep(std::chrono::milliseconds time) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, time, [this] { return stop_; });
}

void Detector::Run() {
  std::unique_ptr<PtyDetector> pty = std::move(first_pty_);
  const bool unplugs = plugging_.unplug_every.count() > 0;
  std::string error;
  for (std::uint64_t plugged = 0;; ++plugged) {
    if (!pty) {
      try {
        pty = std::make_unique<PtyDetector>(link_path_);
      } catch (const std::exception& failure) {
        error = failure.what();
        break;
      }
      std::lock_guard lock(mutex_);
      slave_path_ = pty->slave_path();
    }
    Options options = options_;
    options.seed = options_.seed + plugged;
    if (options_.frame_count != 0) options.frame_count -= Stats().frames_sent;
    Runner runner(pty->master_fd(), options);
    runner.Start();
    const auto unplug_at = std::chrono::steady_clock::now() + plugging_.unplug_every;
    bool stopping = false;
    while (!stopping && !runner.Finished() &&
           (!unplugs || std::chrono::steady_clock::now() < unplug_at)) {
      stopping = Sleep(kLookEvery);
    }
    const bool all_sent = runner.Finished();
    runner.Stop();
    {
      std::lock_guard lock(mutex_);
      stats_.Add(runner.Stats());
    }
    error = runner.Error();
    if (stopping || all_sent || !error.empty()) break;

    // Pulled out: the pty and its link vanish, as a USB adapter's device does.
    pty.reset();
    {
      std::lock_guard lock(mutex_);
      slave_path_.clear();
    }
    if (Sleep(plugging_.unplug_for)) break;
  }
  std::lock_guard lock(mutex_);
  finished_ = true;
  error_ = error;
}

}  // namespace pha::emulator
