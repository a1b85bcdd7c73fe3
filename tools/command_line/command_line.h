// The command lines of the programs beside pha (pha-demo, pha-emulator,
// pha-convert): options --name VALUE and --name in any order, and files
// where the program takes them; --help; a bad option told with the usage
// line and exit status 2.
#pragma once

#include <charconv>
#include <chrono>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace pha::command_line {

// What is wrong with a command line, for the operator.
struct UsageError {
  std::string message;
};

class CommandLine {
 public:
  // `flags` take no value ("--fast"), `valued` options one ("--rate 300");
  // --help and -h are every program's. Anything else that starts with "-" is
  // an unknown option; the rest are files, where `takes_files`. A value given
  // twice: the later one holds. Throws UsageError.
  CommandLine(int argc, const char* const* argv, const std::set<std::string_view>& flags,
              const std::set<std::string_view>& valued, bool takes_files = false);

  bool Help() const { return help_; }
  bool Has(std::string_view option) const { return given_.contains(std::string(option)); }
  // The option's value, or nothing where it was not given.
  std::optional<std::string> Value(std::string_view option) const;
  const std::vector<std::string>& Files() const { return files_; }

 private:
  bool help_ = false;
  std::map<std::string, std::string> given_;  // option -> value ("" for a flag)
  std::vector<std::string> files_;
};

// `text` as a whole number or a decimal of type Number, or a UsageError
// naming `option`.
template <typename Number>
Number ParseNumber(std::string_view option, std::string_view text) {
  Number value{};
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc{} || stop != end || text.empty())
    throw UsageError{std::string(option) + ": not a valid number: '" + std::string(text) + "'"};
  return value;
}

// `text` as seconds from 0 to `most` (a decimal: "2.5"), or a UsageError.
std::chrono::milliseconds ParseSeconds(std::string_view option, std::string_view text,
                                       double most = 86400);

// The end of a program whose command line was bad: "program: message", the
// usage line and where the options are explained, on standard error. Returns
// the exit status, 2.
int ToldUsageError(std::string_view program, std::string_view usage_line, const UsageError& error);

}  // namespace pha::command_line
