#include "onefile-pack/help-text.h"

#include <algorithm>
#include <string>
#include <vector>

#include "host/text-output.h"

namespace onefile {
namespace {

constexpr char TOOL[] = "onefile-pack";
// Where the explanations start; a longer left column is followed by two spaces.
constexpr size_t HELP_COLUMN = 28;
// Help reads on a console of 80 columns: longer texts go on in lines of
// their own below their column. A word longer than a line stands alone.
constexpr size_t HELP_WIDTH = 80;
// Where a command's summary starts in the tool's list of commands.
constexpr size_t SUMMARY_COLUMN = 11;
constexpr char HELP_SPELLINGS[] = "-h, --help";

// Characters of UTF-8 text, counting no continuation byte.
size_t characterCount(const std::string& text) {
  size_t count = 0;
  for (unsigned char byte : text) count += (byte & 0xC0) != 0x80;
  return count;
}

// text broken at spaces into lines: the first of at most firstWidth
// characters, the others of at most otherWidth.
std::vector<std::string> wrapped(const std::string& text, size_t firstWidth, size_t otherWidth) {
  std::vector<std::string> lines(1);
  for (size_t start = 0; start <= text.size();) {
    size_t end = std::min(text.find(' ', start), text.size());
    std::string word = text.substr(start, end - start);
    size_t width = lines.size() == 1 ? firstWidth : otherWidth;
    if (!lines.back().empty() && characterCount(lines.back()) + 1 + characterCount(word) > width) lines.emplace_back();
    lines.back() += (lines.back().empty() ? "" : " ") + word;
    start = end + 1;
  }
  return lines;
}

// text after lead on its first line, and below lead's end on the others.
void printIndented(std::FILE* stream, const std::string& lead, const std::string& text) {
  size_t indent = characterCount(lead);
  size_t room = HELP_WIDTH > indent ? HELP_WIDTH - indent : 1;
  std::string margin;
  for (const std::string& line : wrapped(text, room, room)) {
    printText(stream, "%s%s\n", margin.empty() ? lead.c_str() : margin.c_str(), line.c_str());
    margin.assign(indent, ' ');
  }
}

std::string optionColumn(const OptionDefinition& option) {
  std::string column;
  for (const std::string& spelling : option.spellings) column += (column.empty() ? "" : ", ") + spelling;
  if (option.takesValue()) column += " " + option.valueName;
  return column;
}

void printHelpLine(std::FILE* stream, const std::string& left, const std::string& help) {
  std::string lead = "  " + left;
  size_t width = characterCount(lead);
  lead.append(width + 2 <= HELP_COLUMN ? HELP_COLUMN - width : 2, ' ');
  std::vector<std::string> lines =
      wrapped(help, HELP_WIDTH > characterCount(lead) ? HELP_WIDTH - characterCount(lead) : 1, HELP_WIDTH - HELP_COLUMN);
  printText(stream, "%s%s\n", lead.c_str(), lines.front().c_str());
  const std::string margin(HELP_COLUMN, ' ');
  for (size_t i = 1; i < lines.size(); ++i) printText(stream, "%s%s\n", margin.c_str(), lines[i].c_str());
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
  printText(stream, "\n");
  printIndented(stream, "", command.summary);
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
  for (size_t i = 0; i < count; ++i) {
    std::string lead = std::string("  ") + commands[i].name + " ";
    if (lead.size() < SUMMARY_COLUMN) lead.resize(SUMMARY_COLUMN, ' ');
    printIndented(stream, lead, commands[i].summary);
  }
  printText(stream, "\n");
  printIndented(stream, "", std::string(TOOL) + " COMMAND --help shows a command's arguments and options; " + TOOL +
                                " --version the version.");
}

void printToolVersion(std::FILE* stream) { printText(stream, "%s %s\n", TOOL, ONEFILE_PACK_VERSION); }

}  // namespace onefile
