// Parsing of one subcommand's arguments: options with or without a value
// (as "--name value" or "--name=value"), and positional arguments.
#pragma once
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace onefile {

// A command line the tool cannot follow; shown with the subcommand's usage.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An option's value that cannot be used: one line naming the option, without
// the usage text.
class OptionError : public UsageError {
 public:
  OptionError(const std::string& spelling, const std::string& reason) : UsageError(spelling + ": " + reason) {}
};

// An option the subcommand does not know: one line, pointing at its --help.
class UnknownOption : public UsageError {
 public:
  using UsageError::UsageError;
};

// One option as the parser takes it and as --help shows it; adding an option
// is one such line in its subcommand's table.
struct OptionDefinition {
  std::vector<std::string> spellings;  // e.g. {"-o", "--output"}
  std::string key;
  std::string valueName;  // e.g. "FILE"; empty for an option without a value
  std::string help;       // one line of what it does
  bool repeatable = false;  // may be given more than once; values() has each

  bool takesValue() const { return !valueName.empty(); }
};

// -q and --quiet, for every subcommand that shows progress.
OptionDefinition quietOption();
// The table of a subcommand without options.
std::vector<OptionDefinition> noOptions();

// -h and --help: every subcommand takes them, so no table lists them.
bool asksForHelp(const std::vector<std::string>& arguments);

class ParsedArguments {
 public:
  std::vector<std::string> positional;

  bool has(const std::string& key) const { return values_.count(key) != 0; }
  // The last value given (the only one, but for a repeatable option).
  std::optional<std::string> value(const std::string& key) const;
  // Every value given, in order.
  std::vector<std::string> values(const std::string& key) const;
  std::string required(const std::string& key, const std::string& spelling) const;
  // An integer option within [minimum, maximum], or fallback when absent.
  long integer(const std::string& key, const std::string& spelling, long fallback, long minimum, long maximum) const;

 private:
  friend ParsedArguments parseArguments(const std::vector<std::string>&, const std::vector<OptionDefinition>&);
  std::map<std::string, std::vector<std::string>> values_;
};

// Throws UsageError for an unknown option, a missing value or a repeated option.
ParsedArguments parseArguments(const std::vector<std::string>& arguments,
                               const std::vector<OptionDefinition>& options);

}  // namespace onefile
