// The file system and clock operations the spectrum file commands use.
#pragma once

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

// The outcome of a file operation: no error, or the reason it failed in words
// for the operator, e.g. "the folder /home/ana/data does not exist" or
// "permission denied". The caller names the file the operation was about.
using FileError = std::optional<std::string>;

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
};

}  // namespace pha
