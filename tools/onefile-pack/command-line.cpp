#include "onefile-pack/command-line.h"

#include <cerrno>
#include <cstdlib>

namespace onefile {
namespace {

const OptionDefinition* findOption(const std::vector<OptionDefinition>& options, const std::string& spelling) {
  for (const OptionDefinition& option : options)
    for (const std::string& known : option.spellings)
      if (known == spelling) return &option;
  return nullptr;
}

}  // namespace

OptionDefinition quietOption() { return {{"-q", "--quiet"}, "quiet", "", "no progress bar and no summary line"}; }

std::vector<OptionDefinition> noOptions() { return {}; }

bool asksForHelp(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    if (argument == "--") return false;
    if (argument == "-h" || argument == "--help") return true;
  }
  return false;
}

std::optional<std::string> ParsedArguments::value(const std::string& key) const {
  auto it = values_.find(key);
  if (it == values_.end()) return std::nullopt;
  return it->second.back();
}

std::vector<std::string> ParsedArguments::values(const std::string& key) const {
  auto it = values_.find(key);
  return it == values_.end() ? std::vector<std::string>{} : it->second;
}

std::string ParsedArguments::required(const std::string& key, const std::string& spelling) const {
  std::optional<std::string> found = value(key);
  if (!found) throw UsageError("missing " + spelling);
  return *found;
}

long ParsedArguments::integer(const std::string& key, const std::string& spelling, long fallback, long minimum,
                              long maximum) const {
  std::optional<std::string> text = value(key);
  if (!text) return fallback;
  char* end = nullptr;
  errno = 0;
  long number = std::strtol(text->c_str(), &end, 10);
  if (text->empty() || *end != '\0' || errno != 0 || number < minimum || number > maximum)
    throw OptionError(spelling, "takes a whole number from " + std::to_string(minimum) + " to " +
                                    std::to_string(maximum) + ", not '" + *text + "'");
  return number;
}

ParsedArguments parseArguments(const std::vector<std::string>& arguments,
                               const std::vector<OptionDefinition>& options) {
  ParsedArguments parsed;
  bool optionsEnded = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
      parsed.positional.push_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    size_t equals = argument.find('=');
    std::string spelling = argument.substr(0, equals);
    const OptionDefinition* option = findOption(options, spelling);
    if (option == nullptr) throw UnknownOption("unknown option " + spelling);
    if (parsed.values_.count(option->key) != 0 && !option->repeatable) throw UsageError(spelling + " is given twice");
    std::string value;
    if (!option->takesValue()) {
      if (equals != std::string::npos) throw UsageError(spelling + " takes no value");
    } else if (equals != std::string::npos) {
      value = argument.substr(equals + 1);
    } else if (i + 1 < arguments.size()) {
      value = arguments[++i];
    } else {
      throw UsageError(spelling + " needs a value");
    }
    parsed.values_[option->key].push_back(value);
  }
  return parsed;
}

}  // namespace onefile
