// The choice of taking an update's unchanged files from the previous
// version's folder as hard links (on unless --no-links-between-versions):
// its option, its value, and what a built executable's flags say of it, in
// one place for every command that shows it.
#pragma once
#include <cstdint>
#include <string>

#include "onefile-pack/command-line.h"

namespace onefile {

OptionDefinition noLinksBetweenVersionsOption();

// Whether a start may take files from another version's folder: true unless
// the option is given.
bool linksBetweenVersionsFrom(const ParsedArguments& parsed);

// What an executable's attached flags choose for an update's first start.
std::string linksBetweenVersionsText(uint32_t flags);

}  // namespace onefile
