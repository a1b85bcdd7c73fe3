// Diagnostics on standard error that can neither kill nor freeze the
// program: standard error may be a pipe whose reader has gone, or one that
// nobody reads.
#pragma once

#include <string_view>

namespace pha {

// Settles how diagnostics reach standard error; called once at start, before
// the first diagnostic (PrepareProcess() does).
void PrepareDiagnostics();

// Writes "<program>: <local date and time> <message>" and a line end to
// standard error, at once or not at all: when standard error is a pipe or a
// terminal that takes nothing just now, the message is dropped rather than
// holding up the user-interface thread. `program` names the writer ("pha").
void WriteDiagnostic(std::string_view program, std::string_view message);

}  // namespace pha
