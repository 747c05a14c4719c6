// The subcommands of onefile-pack. Each takes the arguments after its name
// and returns the exit status; failures are thrown (PackError, UsageError).
#pragma once
#include <string>
#include <vector>

#include "onefile-pack/command-line.h"

namespace onefile {

enum ExitStatus : int {
  EXIT_OK = 0,
  EXIT_FAILED = 1,  // bad input, a damaged payload, or files that differ
  EXIT_USAGE = 2,   // a command line the tool cannot follow
};

using Arguments = std::vector<std::string>;

// A positional argument as --help shows it.
struct ArgumentHelp {
  const char* name;
  const char* help;
};

struct Subcommand {
  const char* name;
  const char* usage;  // after the tool's name; each further form on a line of its own
  const char* summary;
  std::vector<ArgumentHelp> arguments;
  std::vector<OptionDefinition> (*options)();
  int (*run)(const Arguments& arguments);
};

std::vector<OptionDefinition> payloadOptions();
std::vector<OptionDefinition> buildOptions();
std::vector<OptionDefinition> extractOptions();
std::vector<OptionDefinition> verifyOptions();

// The whole tool: the arguments after the program's name, as UTF-8 text, to
// the exit status. Each system's entry point (main-*.cpp) hands them over.
int runTool(const Arguments& arguments);

int runPayloadCommand(const Arguments& arguments);
int runBuildCommand(const Arguments& arguments);
int runListCommand(const Arguments& arguments);
int runInfoCommand(const Arguments& arguments);
int runVerifyCommand(const Arguments& arguments);
int runExtractCommand(const Arguments& arguments);
int runNoticesCommand(const Arguments& arguments);

}  // namespace onefile
