// Writes the pulse stream into a file descriptor from a thread of its own.
#pragma once

#include <time.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <span>
#include <string>
#include <thread>

#include "emulator/frame_generator.h"

namespace pha::emulator {

// Paced (the default): each frame is written when the LineSchedule puts it on
// the line, measured against a monotonic clock from the start of the run;
// frames that fall due together are written in one batch. When the reader
// falls behind and the descriptor takes no more bytes, the line pauses: the
// schedule moves on by the time lost, so the stream never comes faster than
// the line afterwards. With as_fast_as_possible, frames are written as fast as
// the descriptor takes them.
//
// Start() puts `fd` in non-blocking mode; the runner does not close it.
// Statistics count only frames whose bytes have all been written.
class Runner {
 public:
  // Throws std::invalid_argument when CheckOptions() finds a problem.
  Runner(int fd, const Options& options);
  ~Runner();  // stops
  Runner(const Runner&) = delete;
  Runner& operator=(const Runner&) = delete;

  void Start();
  // Ends the run and joins the thread; harmless when not running. A runner
  // runs once. Call from one thread at a time (the owner's, say): any thread
  // may wait or read the statistics meanwhile.
  void Stop();
  // Blocks until the run has ended: all frame_count frames written, a write
  // failed, or Stop() was called. Never returns for a runner neither started
  // nor stopped.
  void Wait();
  bool Finished() const;

  // A copy, safe to take from any thread while the run goes on.
  Statistics Stats() const;
  // Why the run ended early; empty unless a write failed.
  std::string Error() const;

 private:
  using TimePoint = std::chrono::steady_clock::time_point;

  void Run();
  // Writes a batch, waiting while the descriptor takes nothing, and counts
  // each frame once all its bytes are out. A stall moves `origin` and
  // `next_due` on by its length. Returns why writing failed, or empty.
  std::string WriteAll(std::span<const std::uint8_t> bytes, std::span<const Frame> frames,
                       TimePoint& origin, TimePoint& next_due);
  // Waits until the descriptor is ready for `events` (none: only the
  // timeout), `timeout` has passed (null: no limit), or Stop() is called.
  // Returns true when the run has to stop.
  bool WaitFor(short events, const timespec* timeout);
  void Finish(std::string error);

  int fd_;
  Options options_;
  int wake_read_fd_ = -1;  // a pipe, written by Stop() to end any wait
  int wake_write_fd_ = -1;
  std::atomic<bool> stop_requested_ = false;
  std::thread thread_;

  mutable std::mutex mutex_;
  std::condition_variable finished_changed_;
  bool finished_ = false;
  Statistics stats_;
  std::string error_;
};

}  // namespace pha::emulator
