// The choice of closing the files that a start writes on threads of their
// own (--close-threads): its option, its value, and what a built
// executable's flags say of it, in one place for every command that shows it.
#pragma once
#include <cstdint>
#include <string>

#include "onefile-pack/command-line.h"

namespace onefile {

OptionDefinition closeThreadsOption();

// The count given, 0 when the option is absent; throws UsageError for a
// value outside 0 to 16.
unsigned closeThreadsFrom(const ParsedArguments& parsed);

// What an executable's attached flags choose: "on the unpacking thread" or
// "on N threads beside the unpacking".
std::string closeThreadsText(uint32_t flags);

}  // namespace onefile
