// The execution level an application manifest asks Windows for
// (requestedExecutionLevel): read from another program's manifest, and
// written into the manifest of the executables the tool makes, so that a
// program that needs elevation is elevated once, at the start, and its
// packed copy inherits it.
#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "host/byte-view.h"

namespace onefile {

enum class ExecutionLevel { asInvoker, highestAvailable, requireAdministrator };

// The level's name as manifests spell it.
const char* executionLevelName(ExecutionLevel level);
// The level a manifest's name spells; nullopt for any other text.
std::optional<ExecutionLevel> executionLevelNamed(std::string_view name);

struct ExecutionLevelFound {
  std::optional<ExecutionLevel> level;  // none when the manifest asks for none
  std::string fault;                    // one line: what was asked for that is not taken; empty when all was
};

// Reads the first requestedExecutionLevel element of a manifest (UTF-8, or
// UTF-16 with its byte order mark), outside comments. The manifest is
// another program's: every read stays inside it, and nothing it says
// throws; what cannot be read is said in fault.
ExecutionLevelFound readExecutionLevel(ByteView manifest);

// The manifest with its requestedExecutionLevel's level set to this one.
// Throws std::logic_error when the manifest has no such level to set (the
// tool's own manifest always has).
std::string withExecutionLevel(std::string manifest, ExecutionLevel level);

}  // namespace onefile
