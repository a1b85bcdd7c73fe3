#include "platform/posix/posix_file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "platform/posix/system_reason.h"

namespace pha {
namespace {

// Tries so many names before giving up on a free one for the new file.
constexpr int kCreateAttempts = 100;
// A spectrum file takes some 12 KiB; whatever follows its 1024 values is
// ignored, but a file past this size is no spectrum.
constexpr std::size_t kMaxReadBytes = std::size_t{16} << 20;

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Why `error_number` stopped an operation on `path`. A missing folder and a
// missing file both give ENOENT; the folder is looked at to tell which.
FileFailure Reason(int error_number, const std::string& path) {
  if (error_number == ENOENT || error_number == ENOTDIR) {
    const std::string folder = FolderOf(path);
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0) {
      if (errno == ENOENT || errno == ENOTDIR)
        return {FileProblem::kNoFolder, "the folder " + folder + " does not exist"};
    } else if (!S_ISDIR(info.st_mode)) {
      return {FileProblem::kOther, folder + " is not a folder"};
    } else if (error_number == ENOENT) {
      return {FileProblem::kNoFile, "the file does not exist"};
    }
  }
  switch (error_number) {
    case EEXIST:
      return {FileProblem::kExists, "a file of that name is there already"};
    case ENOSPC:
    case EDQUOT:
      return {FileProblem::kOther, "the disk is full"};
    case EFBIG:
      return {FileProblem::kOther, "it would pass the file-size limit of this session (ulimit -f)"};
    case EROFS:
      return {FileProblem::kOther, "the disk is read-only"};
    case EACCES:
    case EPERM:
      return {FileProblem::kOther,
              "permission denied: the account may not use " + path + " or its folder"};
    default:
      break;
  }
  return {FileProblem::kOther, SystemReason(error_number)};
}

// Puts `temporary` in place as `path`, where no file of that name may be.
// Returns 0 or the error number (EEXIST: one is there).
int RenameNoReplace(const std::string& temporary, const std::string& path) {
  if (renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0)
    return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system that cannot rename without replacing: a hard link cannot
  // replace either, and the temporary name then goes.
  if (link(temporary.c_str(), path.c_str()) == 0) {
    unlink(temporary.c_str());
    return 0;
  }
  if (errno != EPERM && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
  // Neither (some network and FAT file systems): look, then rename. Only
  // another program writing the very same name in between could be lost.
  struct stat info {};
  if (lstat(path.c_str(), &info) == 0) return EEXIST;
  return std::rename(temporary.c_str(), path.c_str()) == 0 ? 0 : errno;
}

// Writes all of `bytes`, carrying on after short writes and interruptions.
// Returns 0 or the error number.
int WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return errno;
    if (written == 0) return EIO;  // a regular file never takes nothing
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

// Creates a new file with a name of its own beside `path` and sets
// `temporary` to that name. Returns the descriptor, or -1 with errno set.
int CreateBeside(const std::string& path, std::string& temporary) {
  static unsigned serial = 0;  // names a crashed run left behind are skipped
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    temporary = path + "." + std::to_string(getpid()) + "-" + std::to_string(serial++) + ".tmp";
    const int fd =
        open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Makes a rename in `folder` durable, as far as the system lets it. By then
// the new file is in place, whole and on disk; a folder that will not sync
// (some file systems refuse, with EINVAL) does not make the save a failure.
void SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

FileFailure NotARegularFile() { return {FileProblem::kOther, "it is not a regular file"}; }

}  // namespace

WorkingDirectory PosixFileSystem::CurrentDirectory() const {
  std::error_code error;
  std::string path = std::filesystem::current_path(error).string();
  if (error)
    return {{},
            FileFailure{FileProblem::kOther, "the working folder cannot be found (" +
                                                 SystemReason(error.value()) + ")"}};
  return {std::move(path), std::nullopt};
}

FileContents PosixFileSystem::ReadFile(const std::string& path) const {
  FileContents contents;
  // Only a regular file is read. The kind is looked at before the file is
  // opened: opening a terminal could make it the program's controlling
  // terminal (whose closing would end the program), and a named pipe or a
  // device must not hold up the user-interface thread. The open itself
  // neither blocks nor takes a terminal, should the name change meanwhile.
  struct stat status {};
  if (stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
    return {{}, S_ISDIR(status.st_mode) ? Reason(EISDIR, path) : NotARegularFile()};
  }
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return {{}, Reason(errno, path)};
  // Closed on every way out, an allocation that fails while the file is
  // read included. Read-only: nothing is lost if the close fails.
  const std::unique_ptr<const int, void (*)(const int*)> closing(
      &fd, [](const int* open_fd) { close(*open_fd); });
  if (fstat(fd, &status) != 0) return {{}, Reason(errno, path)};
  if (!S_ISREG(status.st_mode))
    return {{}, S_ISDIR(status.st_mode) ? Reason(EISDIR, path) : NotARegularFile()};
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) contents = {{}, Reason(errno, path)};
    if (got <= 0) break;
    if (contents.bytes.size() + static_cast<std::size_t>(got) > kMaxReadBytes) {
      contents = {{},
                  FileFailure{FileProblem::kOther, "the file is larger than " +
                                                       std::to_string(kMaxReadBytes >> 20) +
                                                       " MiB, far too large for a spectrum"}};
      break;
    }
    contents.bytes.append(buffer, static_cast<std::size_t>(got));
  }
  return contents;
}

FileError PosixFileSystem::WriteFileReplacing(const std::string& path, std::string_view bytes) {
  return Write(path, bytes, /*replace=*/true);
}

FileError PosixFileSystem::WriteNewFile(const std::string& path, std::string_view bytes) {
  return Write(path, bytes, /*replace=*/false);
}

FileError PosixFileSystem::CheckWritableFolder(const std::string& path) const {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    if (errno == ENOENT || errno == ENOTDIR)
      return FileFailure{FileProblem::kNoFolder, "the folder " + path + " does not exist"};
    return Reason(errno, path);
  }
  if (!S_ISDIR(info.st_mode)) return FileFailure{FileProblem::kOther, path + " is not a folder"};
  if (access(path.c_str(), W_OK | X_OK) != 0) return Reason(errno, path);
  return std::nullopt;
}

FileError PosixFileSystem::Write(const std::string& path, std::string_view bytes, bool replace) {
  std::string temporary;
  const int fd = CreateBeside(path, temporary);
  if (fd < 0) return Reason(errno, path);
  int error = WriteAll(fd, bytes);
  if (error == 0 && fsync(fd) != 0) error = errno;
  // Linux releases the descriptor even when close fails, so it is never retried.
  if (close(fd) != 0 && error == 0) error = errno;
  if (error == 0) {
    if (replace) {
      if (std::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
    } else {
      error = RenameNoReplace(temporary, path);
    }
  }
  if (error != 0) {
    unlink(temporary.c_str());
    return Reason(error, path);
  }
  SyncFolder(FolderOf(path));
  return std::nullopt;
}

}  // namespace pha
