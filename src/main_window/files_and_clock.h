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

// The outcome of a file operation: no error, or a message naming the file and
// the system's reason.
using FileError = std::optional<std::string>;

struct FileContents {
  std::string bytes;
  FileError error;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // The process's current working directory, as the system reports it now.
  virtual std::string CurrentDirectory() const = 0;
  // Reads a whole file.
  virtual FileContents ReadFile(const std::string& path) const = 0;
  // Replaces `path` with `bytes` so that the file is either the old one or
  // the whole new one, never a part: a file is written beside it, flushed to
  // disk and renamed over it. Never creates a folder.
  virtual FileError WriteFileReplacing(const std::string& path, std::string_view bytes) = 0;
};

}  // namespace pha
