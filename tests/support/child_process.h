// Work done in a child process, so that a limit, a signal's disposition or a
// privilege given up stays there.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace pha::testing {

// What the child's work returned, or how the child ended instead.
inline std::string InChild(const std::function<std::string()>& work) {
  int ends[2];
  if (pipe(ends) != 0) return "[no pipe]";
  const pid_t child = fork();
  if (child == 0) {
    close(ends[0]);
    const std::string report = work();
    _exit(write(ends[1], report.data(), report.size()) == ssize_t(report.size()) ? 0 : 3);
  }
  close(ends[1]);
  std::string report;
  char buffer[4096];
  for (ssize_t got; (got = read(ends[0], buffer, sizeof buffer)) > 0;)
    report.append(buffer, static_cast<std::size_t>(got));
  close(ends[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFSIGNALED(status)) report += " [ended by signal " + std::to_string(WTERMSIG(status)) + "]";
  return report;
}

}  // namespace pha::testing
