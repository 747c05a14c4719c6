// How a first start writes its files: on threads beside the unpacking
// (--close-threads) and, at an update, taking the unchanged files from the
// previous version's folder as hard links (on unless
// --no-links-between-versions). For each: its option, its value, and what a
// built executable's flags say of it, in one place for every command that
// shows it.
#pragma once
#include <cstdint>
#include <string>

#include "onefile-pack/command-line.h"

namespace onefile {

OptionDefinition closeThreadsOption();
OptionDefinition noLinksBetweenVersionsOption();

// The count given, 0 when the option is absent; throws UsageError for a
// value outside 0 to 16.
unsigned closeThreadsFrom(const ParsedArguments& parsed);
// Whether a start may take files from another version's folder: true unless
// the option is given.
bool linksBetweenVersionsFrom(const ParsedArguments& parsed);

// What an executable's attached flags choose: "on the unpacking thread" or
// "on N threads beside the unpacking".
std::string closeThreadsText(uint32_t flags);
// What an executable's attached flags choose for an update's first start.
std::string linksBetweenVersionsText(uint32_t flags);

}  // namespace onefile
