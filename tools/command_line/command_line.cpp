#include "command_line/command_line.h"

#include <cmath>
#include <iostream>

namespace pha::command_line {

CommandLine::CommandLine(int argc, const char* const* argv, const std::set<std::string_view>& flags,
                         const std::set<std::string_view>& valued, bool takes_files) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view word = argv[i];
    if (word == "--help" || word == "-h") {
      help_ = true;
    } else if (flags.contains(word)) {
      given_[std::string(word)] = "";
    } else if (valued.contains(word)) {
      if (i + 1 == argc) throw UsageError{std::string(word) + " needs a value"};
      given_[std::string(word)] = argv[++i];
    } else if (word.starts_with("-") && word != "-") {
      throw UsageError{"unknown option '" + std::string(word) + "'"};
    } else if (takes_files) {
      files_.emplace_back(word);
    } else {
      throw UsageError{"unexpected '" + std::string(word) + "'"};
    }
  }
}

std::optional<std::string> CommandLine::Value(std::string_view option) const {
  const auto found = given_.find(std::string(option));
  if (found == given_.end()) return std::nullopt;
  return found->second;
}

std::chrono::milliseconds ParseSeconds(std::string_view option, std::string_view text,
                                       double most) {
  const double seconds = ParseNumber<double>(option, text);
  if (!(seconds >= 0 && seconds <= most))
    throw UsageError{std::string(option) + ": not a number of seconds from 0 to " +
                     std::to_string(std::lround(most)) + ": '" + std::string(text) + "'"};
  return std::chrono::milliseconds(std::llround(seconds * 1000));
}

int ToldUsageError(std::string_view program, std::string_view usage_line, const UsageError& error) {
  std::cerr << program << ": " << error.message << '\n'
            << usage_line << '\n'
            << '(' << program << " --help explains the options)\n";
  return 2;
}

}  // namespace pha::command_line
