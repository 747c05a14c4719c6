// The execution level the executable's manifest asks Windows for
// (--execution-level): the option, and where a build's level came from.
#pragma once
#include <optional>
#include <string>

#include "onefile-pack/command-line.h"
#include "pe-image/execution-level.h"

namespace onefile {

OptionDefinition executionLevelOption();

// The level given, nullopt when the option is absent; throws OptionError
// for a name Windows does not know.
std::optional<ExecutionLevel> executionLevelFrom(const ParsedArguments& parsed);

}  // namespace onefile
