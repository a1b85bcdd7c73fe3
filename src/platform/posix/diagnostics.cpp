#include "platform/posix/diagnostics.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <string>

namespace pha {
namespace {

constexpr int kStandardError = STDERR_FILENO;

// How a diagnostic reaches standard error without waiting for a reader.
struct DiagnosticStream {
  enum class Way {
    kWrite,        // a regular file or a device that never waits on a reader
    kOwnNonBlock,  // a pipe or terminal, reopened non-blocking: a full one fails at once
    kSend,         // a socket: send without waiting
    kPollFirst,    // a pipe or terminal that could not be reopened: written only when
                   // it has room, a line at most PIPE_BUF long, which then cannot block
    kNone,         // no standard error
  };
  Way way = Way::kNone;
  int fd = -1;
};

DiagnosticStream OpenDiagnosticStream() {
  struct stat info {};
  if (fstat(kStandardError, &info) != 0) return {};
  if (S_ISSOCK(info.st_mode)) return {DiagnosticStream::Way::kSend, kStandardError};
  if (!S_ISFIFO(info.st_mode) && !isatty(kStandardError))
    return {DiagnosticStream::Way::kWrite, kStandardError};
  // A descriptor of our own on the same pipe or terminal, so that making it
  // non-blocking leaves the one shared with the shell as it is.
  const int own = open("/proc/self/fd/2", O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (own >= 0) return {DiagnosticStream::Way::kOwnNonBlock, own};
  return {DiagnosticStream::Way::kPollFirst, kStandardError};
}

const DiagnosticStream& Stream() {
  static const DiagnosticStream stream = OpenDiagnosticStream();
  return stream;
}

std::string LocalTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  char text[32] = "";
  if (localtime_r(&now, &local) != nullptr) std::strftime(text, sizeof text, "%F %T", &local);
  return text;
}

}  // namespace

void PrepareDiagnostics() { Stream(); }

void WriteDiagnostic(std::string_view program, std::string_view message) {
  const DiagnosticStream& stream = Stream();
  std::string line;
  line.reserve(program.size() + message.size() + 32);
  line.append(program).append(": ").append(LocalTimeNow()).append(" ").append(message) += '\n';
  // Whatever does not go out at once is dropped: a diagnostic is never worth
  // a pulse. Failures (a reader gone, EPIPE) are ignored for the same reason.
  switch (stream.way) {
    case DiagnosticStream::Way::kWrite:
    case DiagnosticStream::Way::kOwnNonBlock:
      if (write(stream.fd, line.data(), line.size()) < 0) return;
      return;
    case DiagnosticStream::Way::kSend:
      if (send(stream.fd, line.data(), line.size(), MSG_DONTWAIT | MSG_NOSIGNAL) < 0) return;
      return;
    case DiagnosticStream::Way::kPollFirst: {
      pollfd ready{stream.fd, POLLOUT, 0};
      if (poll(&ready, 1, 0) != 1 || (ready.revents & POLLOUT) == 0) return;
      if (line.size() > PIPE_BUF) line.erase(PIPE_BUF - 1) += '\n';
      if (write(stream.fd, line.data(), line.size()) < 0) return;
      return;
    }
    case DiagnosticStream::Way::kNone:
      return;
  }
}

}  // namespace pha
