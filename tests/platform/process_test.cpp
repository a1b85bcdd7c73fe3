// Standard error as a desktop may hand it over: a pipe whose reader has gone,
// or one that nobody reads. Each case runs in a child process that starts as
// the program does; the child must finish, neither killed nor held up.
#include "platform/files/process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pha {
namespace {

TEST(Diagnostics, NeitherADeadNorAStalledStandardErrorStopsTheProgram) {
  for (const bool reader_gone : {true, false}) {
    SCOPED_TRACE(reader_gone ? "reader gone" : "nobody reads");
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    const pid_t child = fork();
    if (child == 0) {
      signal(SIGPIPE, SIG_DFL);
      dup2(ends[1], STDERR_FILENO);
      close(ends[1]);
      if (reader_gone) close(ends[0]);
      alarm(10);  // a blocked write ends the child with SIGALRM
      PrepareProcess();
      // Far more than a pipe holds.
      for (int i = 0; i < 5000; ++i) WriteDiagnostic("pha", std::string(100, 'x'));
      _exit(0);
    }
    close(ends[1]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    close(ends[0]);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  }
}

}  // namespace
}  // namespace pha
