// The process's dealings with the desktop around it: the limits on open
// files and memory, signals whose default action would end a day-long
// measurement, and the signals that ask it to end.
#pragma once

#include <string_view>

namespace pha {

// Called first in main, before Qt is made. Raises the limits on open files
// and on memory (address space and data), where they are too low, to the
// most the session allows: Qt, its connection to the display and the
// detector line need a few dozen files and some 150 MB of address space,
// and a library that finds none left ends the process on the spot. Where
// even that is too little, says so on standard error (naming `program` and
// the ulimit option) and returns false: the program then ends with status 1
// before it has made anything.
//
// Also ignores SIGPIPE (standard error may be a pipe whose reader has gone:
// the write then fails with EPIPE) and SIGXFSZ (a save past a file-size
// limit then fails with EFBIG and is reported like any other failed save)
// and settles how diagnostics reach standard error. A program with an event
// loop catches SIGTERM, SIGINT and SIGHUP, which then only ask it to end
// (see EndRequests()); one without keeps their default, so that Ctrl-C ends
// it.
enum class EndSignals { kAskTheEventLoop, kEndAtOnce };
bool PrepareProcess(std::string_view program, EndSignals end_signals);

// A descriptor that becomes readable when SIGTERM, SIGINT or SIGHUP has come,
// for the event loop to end the program as closing its window does; -1
// before PrepareProcess().
int EndRequests();
// The last of those signals that came, or 0.
int EndSignal();

}  // namespace pha
