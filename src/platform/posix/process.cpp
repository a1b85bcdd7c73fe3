#include "platform/posix/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>

#include "platform/posix/diagnostics.h"

namespace pha {
namespace {

// Open files the program needs at the most, with room to spare: some twenty
// on a desktop (the display's connection, Qt's event loop, the detector
// line, the signals' pipe), two more while a spectrum is saved.
constexpr rlim_t kFewestOpenFiles = 64;

// Raises the soft limit on open files to the hard one; false where that is
// still too few.
bool RaiseFileLimit(rlim_t& limit) {
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) != 0) return true;  // cannot tell: try
  if (files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    getrlimit(RLIMIT_NOFILE, &files);
  }
  limit = files.rlim_cur;
  return files.rlim_cur >= kFewestOpenFiles;
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

bool PrepareProcess(std::string_view program) {
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);
  PrepareDiagnostics();
  if (rlim_t limit = 0; !RaiseFileLimit(limit)) {
    WriteDiagnostic(program, "this session lets a program have only " + std::to_string(limit) +
                                 " files open (ulimit -n), and this one needs " +
                                 std::to_string(kFewestOpenFiles) +
                                 ". Start it where the limit is higher, as a desktop session "
                                 "sets it (1024 or more).");
    return false;
  }
  if (end_pipe[0] < 0 && pipe2(end_pipe, O_CLOEXEC | O_NONBLOCK) == 0) {
    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) sigaction(number, &action, nullptr);
  }
  return true;
}

int EndRequests() { return end_pipe[0]; }

int EndSignal() { return end_signal; }

}  // namespace pha
