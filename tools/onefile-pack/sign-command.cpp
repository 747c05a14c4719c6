#include "onefile-pack/sign-command.h"

#include <sstream>

#include "host/child-process.h"
#include "host/command-words.h"
#include "host/host-system.h"
#include "host/mapped-file.h"
#include "host/utf.h"
#include "pe-image/signature-added.h"

namespace onefile {
namespace {

constexpr char OUTPUT_SUFFIX[] = ".log";

// The command's last line that says something: what a failing tool ends with.
std::string lastLine(const std::string& said) {
  std::istringstream lines(said);
  std::string line, last;
  while (std::getline(lines, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    if (!line.empty()) last = line;
  }
  return last.empty() ? "it said nothing" : displayName(last);
}

}  // namespace

OptionDefinition signCommandOption() {
  return {{"--sign-command"}, "sign-command", "\"PROGRAM ARG...\"",
          "sign each unsigned program and library inside and the executable with this command of your own "
          "(signtool, a signing service's tool), which signs the file {file} names in place (without {file}, "
          "the file is its last argument); words are split as a shell splits them, and no shell runs"};
}

std::optional<SignCommand> signCommandFrom(const ParsedArguments& parsed) {
  std::optional<std::string> text = parsed.value("sign-command");
  if (!text) return std::nullopt;
  std::vector<std::string> words;
  try {
    words = splitCommandWords(*text);
  } catch (const CommandWordsError& error) {
    throw OptionError("--sign-command", error.what());
  }
  std::optional<std::filesystem::path> program = findCommand(words.front());
  if (!program)
    throw OptionError("--sign-command", displayName(words.front()) +
                                            (words.front().find_first_of("/\\") == std::string::npos
                                                 ? " is not on PATH"
                                                 : ": no such program"));
  return SignCommand{*program, words.front(), std::vector<std::string>(words.begin() + 1, words.end())};
}

std::vector<std::string> signCommandArguments(const SignCommand& command, const std::filesystem::path& file) {
  std::string path = file.u8string();
  std::vector<std::string> arguments = command.arguments;
  bool placed = false;
  for (std::string& argument : arguments)
    for (size_t at = argument.find(FILE_PLACEHOLDER); at != std::string::npos;
         at = argument.find(FILE_PLACEHOLDER, at + path.size())) {
      argument.replace(at, std::size(FILE_PLACEHOLDER) - 1, path);
      placed = true;
    }
  if (!placed) arguments.push_back(path);
  return arguments;
}

std::optional<std::string> signWithCommand(const SignCommand& command, const std::filesystem::path& before,
                                           const std::filesystem::path& file) {
  std::filesystem::path output = file;
  output += OUTPUT_SUFFIX;
  std::string program = displayName(command.programShown);
  int status = runProgram(command.program, signCommandArguments(command, file), output);
  if (status != 0) {
    std::string said = readWholeFile(output, displayName(output.u8string()));
    std::string ending = status < 0 ? " was ended by a signal" : " ended with status " + std::to_string(status);
    return program + ending + ": " + lastLine(said);
  }
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) return program + " left no file where it was handed one";
  MappedFile handed(before), returned(file);
  SigningCheck check = checkSignatureAdded(ByteView(handed.data(), handed.size()),
                                           ByteView(returned.data(), returned.size()));
  switch (check.result) {
    case SigningResult::signatureAdded:
      return std::nullopt;
    case SigningResult::unsigned_:
      return program + " returned it without a signature: the command must sign the file it is given, in place";
    case SigningResult::imageChanged:
      break;
  }
  std::ostringstream offset;
  offset << std::hex << std::uppercase << check.firstChange;
  return program + " changed the program, not only added a signature (at offset 0x" + offset.str() + "): refused";
}

}  // namespace onefile
