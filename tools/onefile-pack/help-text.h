// What onefile-pack --help and COMMAND --help print: the usage forms, a
// line for each argument and option, and the tool's version.
#pragma once
#include <cstdio>

#include "onefile-pack/commands.h"

namespace onefile {

// "usage: onefile-pack FORM", one line per form of the subcommand.
void printUsageForms(std::FILE* stream, const Subcommand& command);
void printCommandHelp(std::FILE* stream, const Subcommand& command);
void printToolHelp(std::FILE* stream, const Subcommand* commands, size_t count);
void printToolVersion(std::FILE* stream);

}  // namespace onefile
