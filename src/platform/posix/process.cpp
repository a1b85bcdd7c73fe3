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

// What the program needs of the session's limits, with room to spare. Open
// files: some twenty on a desktop (the display's connection, Qt's event
// loop, the detector line, the signals' pipe), two more while a spectrum is
// saved. Memory: Qt and its display plug-in map some 150 MB of address space
// at start, of which some 40 MB are data; below that a library ends the
// process on the spot, and a day-long run must not meet the limit later.
struct Need {
  int resource;
  const char* option;  // of ulimit
  rlim_t unit;         // in which the message counts
  const char* what;    // "only N <what>"
  rlim_t fewest;       // in units
};
constexpr rlim_t kMegabyte = 1024 * 1024;
constexpr Need kNeeds[] = {
    {RLIMIT_NOFILE, "-n", 1, "files open", 64},
    {RLIMIT_AS, "-v", kMegabyte, "MB of memory", 256},
    {RLIMIT_DATA, "-d", kMegabyte, "MB of data", 128},
};

// Where the soft limit is too little for `need`, raises it to the hard one;
// the shortfall where that is still too little, or "". A limit that is
// enough stays as the session set it.
std::string Shortfall(const Need& need) {
  rlimit limit{};
  if (getrlimit(need.resource, &limit) != 0) return "";  // cannot tell: try
  const auto enough = [&] {
    return limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur / need.unit >= need.fewest;
  };
  if (!enough() && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(need.resource, &limit);
    getrlimit(need.resource, &limit);
  }
  if (enough()) return "";
  return "this session lets a program have only " + std::to_string(limit.rlim_cur / need.unit) +
         " " + need.what + " (ulimit " + need.option + "), and this one needs " +
         std::to_string(need.fewest) + ". Start it where the limit is higher, as a desktop " +
         "session sets it (" + (need.resource == RLIMIT_NOFILE ? "1024 or more" : "unlimited") +
         ").";
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

bool PrepareProcess(std::string_view program, EndSignals end_signals) {
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);
  PrepareDiagnostics();
  for (const Need& need : kNeeds) {
    if (const std::string shortfall = Shortfall(need); !shortfall.empty()) {
      WriteDiagnostic(program, shortfall);
      return false;
    }
  }
  if (end_signals == EndSignals::kAskTheEventLoop && end_pipe[0] < 0 &&
      pipe2(end_pipe, O_CLOEXEC | O_NONBLOCK) == 0) {
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
