#include "help-text.h"

#include <string>

#include "text-output.h"

namespace onefile {
namespace {

constexpr char TOOL[] = "onefile-pack";
// Where the explanations start; a longer left column is followed by two spaces.
constexpr size_t HELP_COLUMN = 28;
constexpr char HELP_SPELLINGS[] = "-h, --help";

std::string optionColumn(const OptionDefinition& option) {
  std::string column;
  for (const std::string& spelling : option.spellings) column += (column.empty() ? "" : ", ") + spelling;
  if (option.takesValue()) column += " " + option.valueName;
  return column;
}

void printHelpLine(std::FILE* stream, const std::string& left, const std::string& help) {
  std::string line = "  " + left;
  line.append(line.size() + 2 <= HELP_COLUMN ? HELP_COLUMN - line.size() : 2, ' ');
  printText(stream, "%s%s\n", line.c_str(), help.c_str());
}

// Each form of a usage text on a line of its own, after firstLead on the
// first line and otherLead on the others.
void printForms(std::FILE* stream, const std::string& forms, const char* firstLead, const char* otherLead) {
  const char* lead = firstLead;
  for (size_t start = 0; start <= forms.size();) {
    size_t end = std::min(forms.find('\n', start), forms.size());
    printText(stream, "%s%s %s\n", lead, TOOL, forms.substr(start, end - start).c_str());
    lead = otherLead;
    start = end + 1;
  }
}

}  // namespace

void printUsageForms(std::FILE* stream, const Subcommand& command) {
  printForms(stream, command.usage, "usage: ", "       ");
}

void printCommandHelp(std::FILE* stream, const Subcommand& command) {
  printUsageForms(stream, command);
  printText(stream, "\n%s\n", command.summary);
  if (!command.arguments.empty()) printText(stream, "\narguments:\n");
  for (const ArgumentHelp& argument : command.arguments) printHelpLine(stream, argument.name, argument.help);
  printText(stream, "\noptions:\n");
  for (const OptionDefinition& option : command.options()) printHelpLine(stream, optionColumn(option), option.help);
  printHelpLine(stream, HELP_SPELLINGS, "show this help");
}

void printToolHelp(std::FILE* stream, const Subcommand* commands, size_t count) {
  printText(stream, "usage:\n");
  for (size_t i = 0; i < count; ++i) printForms(stream, commands[i].usage, "  ", "  ");
  printText(stream, "\n");
  for (size_t i = 0; i < count; ++i) printText(stream, "  %-8s %s\n", commands[i].name, commands[i].summary);
  printText(stream, "\n%s COMMAND --help shows a command's arguments and options; %s --version the version.\n", TOOL,
            TOOL);
}

void printToolVersion(std::FILE* stream) { printText(stream, "%s %s\n", TOOL, ONEFILE_PACK_VERSION); }

}  // namespace onefile
