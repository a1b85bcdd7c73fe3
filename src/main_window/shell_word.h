// How a path stands in a command that a message advises (mkdir -p, cp, rm,
// fuser -v), so that the operator can paste the command into a shell as it
// is, whatever the path holds.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace pha {

// `path` as a shell reads it: as it is where it is plain, else in single
// quotes.
inline std::string ShellWord(std::string_view path) {
  const bool plain = !path.empty() && std::all_of(path.begin(), path.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
           c == '.' || c == '_' || c == '-' || c == '+';
  });
  if (plain) return std::string(path);
  std::string quoted = "'";
  for (const char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace pha
