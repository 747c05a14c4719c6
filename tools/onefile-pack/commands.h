// The subcommands of onefile-pack. Each takes the arguments after its name
// and returns the exit status; failures are thrown (PackError, UsageError).
#pragma once
#include <string>
#include <vector>

namespace onefile {

enum ExitStatus : int {
  EXIT_OK = 0,
  EXIT_FAILED = 1,  // bad input, a damaged payload, or files that differ
  EXIT_USAGE = 2,   // a command line the tool cannot follow
};

using Arguments = std::vector<std::string>;

struct Subcommand {
  const char* name;
  const char* usage;
  const char* summary;
  int (*run)(const Arguments& arguments);
};

int runPayloadCommand(const Arguments& arguments);
int runBuildCommand(const Arguments& arguments);
int runListCommand(const Arguments& arguments);
int runVerifyCommand(const Arguments& arguments);

}  // namespace onefile
