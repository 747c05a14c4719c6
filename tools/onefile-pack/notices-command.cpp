// onefile-pack notices
// Prints the third-party notices an executable made by this tool carries,
// for a release script to write beside it.
#include <cstdio>

#include "onefile-pack/command-line.h"
#include "onefile-pack/commands.h"
#include "onefile-pack/third-party-notices.h"
#include "host/text-output.h"

namespace onefile {

int runNoticesCommand(const Arguments& arguments) {
  ParsedArguments parsed = parseArguments(arguments, noOptions());
  if (!parsed.positional.empty()) throw UsageError("takes no arguments");
  writeText(stdout, thirdPartyNotices());
  return EXIT_OK;
}

}  // namespace onefile
