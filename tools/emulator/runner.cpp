#include "emulator/runner.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "emulator/line_schedule.h"

namespace pha::emulator {
namespace {

using Clock = std::chrono::steady_clock;

// Frames written with one write() at most: 1 KiB, half a second of the line.
constexpr std::size_t kMaxBatchFrames = 512;

timespec ToTimespec(Clock::duration duration) {
  const auto s = std::chrono::duration_cast<std::chrono::seconds>(duration);
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(duration - s);
  return {static_cast<time_t>(s.count()), static_cast<long>(ns.count())};
}

}  // namespace

Runner::Runner(int fd, const Options& options) : fd_(fd), options_(options) {
  if (const std::string problem = CheckOptions(options); !problem.empty())
    throw std::invalid_argument(problem);
  std::array<int, 2> pipe_fds{};
  if (pipe2(pipe_fds.data(), O_CLOEXEC) != 0)
    throw std::system_error(errno, std::generic_category(), "pipe");
  wake_read_fd_ = pipe_fds[0];
  wake_write_fd_ = pipe_fds[1];
}

Runner::~Runner() {
  Stop();
  close(wake_read_fd_);
  close(wake_write_fd_);
}

void Runner::Start() {
  if (thread_.joinable()) return;
  fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
  thread_ = std::thread(&Runner::Run, this);
}

void Runner::Stop() {
  stop_requested_ = true;
  // The byte stays in the pipe, so every later wait of the thread ends at once.
  const char byte = 0;
  if (write(wake_write_fd_, &byte, 1) < 0) {
    // The pipe can only be full if Stop() ran thousands of times; it is readable then anyway.
  }
  if (thread_.joinable()) thread_.join();
  Finish({});  // for a runner never started
}

void Runner::Wait() {
  std::unique_lock lock(mutex_);
  finished_changed_.wait(lock, [this] { return finished_; });
}

bool Runner::Finished() const {
  std::lock_guard lock(mutex_);
  return finished_;
}

Statistics Runner::Stats() const {
  std::lock_guard lock(mutex_);
  return stats_;
}

std::string Runner::Error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

void Runner::Finish(std::string error) {
  std::lock_guard lock(mutex_);
  if (finished_) return;
  finished_ = true;
  error_ = std::move(error);
  finished_changed_.notify_all();
}

bool Runner::WaitFor(short events, const timespec* timeout) {
  std::array<pollfd, 2> fds{{{wake_read_fd_, POLLIN, 0}, {events != 0 ? fd_ : -1, events, 0}}};
  ppoll(fds.data(), fds.size(), timeout, nullptr);  // an interruption just ends the wait early
  return stop_requested_;
}

void Runner::Run() {
  FrameGenerator generator(options_);
  LineSchedule schedule(options_.rate_per_s, options_.seed);
  const bool paced = !options_.as_fast_as_possible;
  std::uint64_t generated = 0;
  std::optional<Frame> next;
  Clock::time_point next_due;
  std::vector<Frame> batch;
  std::vector<std::uint8_t> bytes;
  // Due times are counted from here; a stalled reader moves it on.
  Clock::time_point origin = Clock::now();

  while (!stop_requested_) {
    batch.clear();
    bytes.clear();
    const Clock::time_point now = Clock::now();
    while (batch.size() < kMaxBatchFrames) {
      if (!next) {
        if (options_.frame_count != 0 && generated == options_.frame_count) break;
        next = generator.Next();
        ++generated;
        // Rounded up, so that no frame goes out before its time on the line.
        if (paced)
          next_due = origin + std::chrono::ceil<Clock::duration>(schedule.Next(next->size).start);
      }
      if (paced && next_due > now) break;
      batch.push_back(*next);
      bytes.insert(bytes.end(), next->Bytes().begin(), next->Bytes().end());
      next.reset();
    }
    if (!batch.empty()) {
      if (std::string error = WriteAll(bytes, batch, origin, next_due); !error.empty()) {
        Finish(std::move(error));
        return;
      }
    } else if (!next) {
      break;  // all frame_count frames written
    } else {
      // A serial adapter hands the received bytes on in batches: wait for
      // the next batch time at or after the frame's own time.
      Clock::time_point wake = next_due;
      if (options_.delivery_period_ms > 0) {
        const Clock::duration period = std::chrono::milliseconds(options_.delivery_period_ms);
        wake = origin + period * ((next_due - origin + period - Clock::duration(1)) / period);
      }
      const timespec left = ToTimespec(wake - now);  // positive: the frame is not yet due
      WaitFor(0, &left);
    }
  }
  Finish({});
}

std::string Runner::WriteAll(std::span<const std::uint8_t> bytes, std::span<const Frame> frames,
                             TimePoint& origin, TimePoint& next_due) {
  std::size_t written = 0;
  std::size_t counted = 0;  // bytes of the frames already counted
  auto frame = frames.begin();
  while (written < bytes.size()) {
    const ssize_t n = write(fd_, bytes.data() + written, bytes.size() - written);
    if (n > 0) {
      written += static_cast<std::size_t>(n);
      std::lock_guard lock(mutex_);
      for (; frame != frames.end() && counted + frame->size <= written; ++frame) {
        counted += frame->size;
        stats_.Count(*frame);
      }
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN)
      return "cannot write to the pty: " + std::system_category().message(errno);
    // The reader is behind and the pty is full: the line pauses, and the
    // schedule with it, so that no burst follows when the reader catches up.
    const Clock::time_point stalled = Clock::now();
    if (WaitFor(POLLOUT, nullptr)) return {};
    const Clock::duration pause = Clock::now() - stalled;
    origin += pause;
    next_due += pause;
  }
  return {};
}

}  // namespace pha::emulator
