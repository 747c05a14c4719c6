// A signing command of the publisher's own (build --sign-command): a signing
// service's tool, signtool with a key in the Windows store, or any script,
// run on a copy of each file to sign, which it signs in place. What it gives
// back is checked: a signature added, and nothing else changed.
#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "onefile-pack/command-line.h"

namespace onefile {

OptionDefinition signCommandOption();

// The word of an argument that the file's path replaces; without it
// anywhere, the path is the last argument.
inline constexpr char FILE_PLACEHOLDER[] = "{file}";

struct SignCommand {
  std::filesystem::path program;
  std::string programShown;            // the first word, as given
  std::vector<std::string> arguments;  // the other words, {file} not yet replaced
};

// nullopt without --sign-command; OptionError for a text of no words, an
// open quote, or a program that cannot be found.
std::optional<SignCommand> signCommandFrom(const ParsedArguments& parsed);

// The arguments for signing file.
std::vector<std::string> signCommandArguments(const SignCommand& command, const std::filesystem::path& file);

// Runs the command on file, a copy of before, which it signs in place, and
// checks what it gave back against before. The reason it failed
// or was refused (one line, naming the program); nullopt when file now
// carries a signature and is before otherwise.
std::optional<std::string> signWithCommand(const SignCommand& command, const std::filesystem::path& before,
                                           const std::filesystem::path& file);

}  // namespace onefile
