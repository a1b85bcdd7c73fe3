// The file system and the clocks as the logic reaches them: the local date
// and time (a saved spectrum's name), a monotonic clock (seconds that a late
// tick stands for, two saves in one second), and reading, writing and
// checking files in the working directory, each failure reported as a
// FileError for the operator.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pha {

// A local date and time to the second.
struct LocalDateTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  int hour = 0;   // 0..23
  int minute = 0;
  int second = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalDateTime Now() const = 0;
};

// Time that only ever moves forward, at the pace of real seconds, whatever
// the operator or the network does to the clock on the wall: for measuring
// how long something took.
class MonotonicClock {
 public:
  virtual ~MonotonicClock() = default;
  // Milliseconds since some fixed moment in the past.
  virtual std::int64_t NowMs() const = 0;
};

// What kind of failure a file operation met, where the operator can do
// something particular about it.
enum class FileProblem {
  kOther,
  kNoFolder,  // the folder that should hold the file does not exist
  kNoFile,    // the file does not exist
  kExists,    // a new file was to be made, and one of that name is there
};

struct FileFailure {
  FileProblem problem = FileProblem::kOther;
  // The reason in words for the operator, e.g. "the folder /home/ana/data
  // does not exist" or "the disk is full". The caller names the file.
  std::string reason;
};

// The outcome of a file operation: no error, or why it failed.
using FileError = std::optional<FileFailure>;

struct FileContents {
  std::string bytes;
  FileError error;
};

struct WorkingDirectory {
  std::string path;  // absolute, without a trailing separator (except "/")
  FileError error;   // set when the system cannot tell the directory
};

// Every operation reports its failure as a FileError and leaves the process
// running; none creates a folder.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // The process's current working directory, as the system reports it now.
  virtual WorkingDirectory CurrentDirectory() const = 0;
  // Reads a whole file.
  virtual FileContents ReadFile(const std::string& path) const = 0;
  // Replaces `path` with `bytes` so that the file is either the old one or
  // the whole new one, never a part: a file is written beside it, flushed to
  // disk and renamed over it; on failure that file is removed again.
  virtual FileError WriteFileReplacing(const std::string& path, std::string_view bytes) = 0;
  // The same for a name where no file may be yet: a file already there is
  // left as it is, and the write fails with FileProblem::kExists.
  virtual FileError WriteNewFile(const std::string& path, std::string_view bytes) = 0;
  // Whether new files can be made in the folder `path`: no error, or why not
  // (FileProblem::kNoFolder where it does not exist).
  virtual FileError CheckWritableFolder(const std::string& path) const = 0;
};

}  // namespace pha
