// Work done in a child process, so that a limit, a signal's disposition or a
// privilege given up stays there; programs run as the operator runs them;
// and the process's open descriptors.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

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

// A program started with `command` (the first word a path or a program on
// PATH), after `in_child` in the child; what it says on standard output and
// error comes to `said`.
struct Program {
  Program(const std::vector<std::string>& command, const std::function<void()>& in_child = {}) {
    int ends[2];
    if (pipe(ends) != 0) return;
    pid = fork();
    if (pid == 0) {
      dup2(ends[1], STDOUT_FILENO);
      dup2(ends[1], STDERR_FILENO);
      for (int fd = 3; fd < 1024; ++fd) close(fd);
      if (in_child) in_child();
      std::vector<char*> argv;
      for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
      argv.push_back(nullptr);
      execvp(argv[0], argv.data());
      _exit(127);
    }
    close(ends[1]);
    output = ends[0];
  }
  // Its exit status once it has ended (-1 for a signal), with all it said;
  // `meanwhile` runs until then.
  int Ended(const std::function<void()>& meanwhile = {}) {
    int status = 0;
    while (meanwhile && waitpid(pid, &status, WNOHANG) == 0) meanwhile();
    char buffer[4096];
    for (ssize_t got; (got = read(output, buffer, sizeof buffer)) > 0;)
      said.append(buffer, static_cast<std::size_t>(got));
    close(output);
    if (!meanwhile) waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  pid_t pid = -1;
  int output = -1;
  std::string said;
};

// How many descriptors this process has open.
inline int OpenDescriptors() {
  const std::filesystem::directory_iterator entries("/proc/self/fd");
  return static_cast<int>(std::distance(begin(entries), end(entries)));
}

}  // namespace pha::testing
