// The process's dealings with the desktop around it: signals whose default
// action would end a day-long measurement, and diagnostics on standard error
// that can neither kill nor freeze the program.
#pragma once

#include <string_view>

namespace pha {

// Called first in main. Ignores SIGPIPE (standard error may be a pipe whose
// reader has gone: the write then fails with EPIPE) and SIGXFSZ (a save past
// a file-size limit then fails with EFBIG and is reported like any other
// failed save), settles how diagnostics reach standard error, and catches
// SIGTERM, SIGINT and SIGHUP, which then only ask the program to end: see
// EndRequests().
void PrepareProcess();

// A descriptor that becomes readable when SIGTERM, SIGINT or SIGHUP has come,
// for the event loop to end the program as closing its window does; -1
// before PrepareProcess().
int EndRequests();
// The last of those signals that came, or 0.
int EndSignal();

// Writes "<program>: <local date and time> <message>" and a line end to
// standard error, at once or not at all: when standard error is a pipe or a
// terminal that takes nothing just now, the message is dropped rather than
// holding up the user-interface thread. `program` names the writer ("pha").
void WriteDiagnostic(std::string_view program, std::string_view message);

}  // namespace pha
