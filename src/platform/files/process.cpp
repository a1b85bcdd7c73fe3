#include "platform/files/process.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
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

// The signals that ask the program to end (a logout, a shutdown, a closed
// terminal, Ctrl-C) are written into this pipe, and the event loop reads
// them: a signal handler may do next to nothing itself.
int end_pipe[2] = {-1, -1};
volatile sig_atomic_t end_signal = 0;

void OnEndSignal(int number) {
  const int saved = errno;
  end_signal = number;
  const char byte = static_cast<char>(number);
  if (write(end_pipe[1], &byte, 1) < 0) {
    // Full: the event loop has been told already.
  }
  errno = saved;
}

}  // namespace

void PrepareProcess() {
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);
  Stream();
  if (end_pipe[0] < 0 && pipe2(end_pipe, O_CLOEXEC | O_NONBLOCK) == 0) {
    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) sigaction(number, &action, nullptr);
  }
}

int EndRequests() { return end_pipe[0]; }

int EndSignal() { return end_signal; }

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
