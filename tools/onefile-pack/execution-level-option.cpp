#include "onefile-pack/execution-level-option.h"

#include "host/utf.h"

namespace onefile {

OptionDefinition executionLevelOption() {
  return {{"--execution-level"}, "execution-level", "LEVEL",
          "asInvoker, highestAvailable or requireAdministrator: what the executable's manifest asks Windows for, "
          "once, at the start (default: what the main program's manifest asks for, else asInvoker)"};
}

std::optional<ExecutionLevel> executionLevelFrom(const ParsedArguments& parsed) {
  std::optional<std::string> given = parsed.value("execution-level");
  if (!given) return std::nullopt;
  std::optional<ExecutionLevel> level = executionLevelNamed(*given);
  if (!level)
    throw OptionError("--execution-level", "takes asInvoker, highestAvailable or requireAdministrator, not '" +
                                               displayName(*given) + "'");
  return level;
}

}  // namespace onefile
