// Standard error as a desktop may hand it over: a pipe whose reader has gone,
// or one that nobody reads. Each case runs in a child process that starts as
// the program does; the child must finish, neither killed nor held up.
#include "platform/posix/diagnostics.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include "platform/posix/process.h"
#include "support/child_process.h"

namespace pha {
namespace {

TEST(Diagnostics, NeitherADeadNorAStalledStandardErrorStopsTheProgram) {
  for (const bool reader_gone : {true, false}) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    if (reader_gone) close(ends[0]);
    const std::string report = testing::InChild([&] {
      signal(SIGPIPE, SIG_DFL);
      dup2(ends[1], STDERR_FILENO);
      alarm(10);  // a blocked write ends the child with SIGALRM
      PrepareProcess("pha", EndSignals::kEndAtOnce);
      // Far more than a pipe holds.
      for (int i = 0; i < 5000; ++i) WriteDiagnostic("pha", std::string(100, 'x'));
      return std::string("done");
    });
    if (!reader_gone) close(ends[0]);
    close(ends[1]);
    EXPECT_EQ(report, "done") << (reader_gone ? "reader gone" : "nobody reads");
  }
}

}  // namespace
}  // namespace pha
