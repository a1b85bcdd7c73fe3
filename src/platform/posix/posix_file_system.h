// The file system on POSIX calls: reads that never block on a pipe or take
// a terminal, writes that replace a file whole or not at all, and new files
// that never replace one.
#pragma once

#include "main_window/files_and_clock.h"

namespace pha {

class PosixFileSystem final : public FileSystem {
 public:
  WorkingDirectory CurrentDirectory() const override;
  FileContents ReadFile(const std::string& path) const override;
  // Writes a uniquely named file beside `path` (created with mode 0666 less
  // the umask), fsyncs and closes it, renames it over `path` and fsyncs the
  // folder, so that the rename too survives a power cut.
  FileError WriteFileReplacing(const std::string& path, std::string_view bytes) override;
  // As above, but the new file takes the name only where none is, with
  // renameat2(RENAME_NOREPLACE), or a hard link where the file system has no
  // such rename.
  FileError WriteNewFile(const std::string& path, std::string_view bytes) override;
  FileError CheckWritableFolder(const std::string& path) const override;

 private:
  FileError Write(const std::string& path, std::string_view bytes, bool replace);
};

}  // namespace pha
