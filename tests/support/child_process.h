// Work done in a child process, so that a limit, a signal's disposition or a
// privilege given up stays there; and the process's open descriptors.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <iterator>
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

// How many descriptors this process has open.
inline int OpenDescriptors() {
  const std::filesystem::directory_iterator entries("/proc/self/fd");
  return static_cast<int>(std::distance(begin(entries), end(entries)));
}

}  // namespace pha::testing
