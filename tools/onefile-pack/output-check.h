// The output a command is to write, checked before any work: a folder, or a
// folder that does not exist or cannot be written, would otherwise fail only
// when the finished file is moved into place, after all the packing.
#pragma once
#include <filesystem>
#include <string>

namespace onefile {

// Throws OptionError (for spelling, e.g. "-o") when given names a folder, or
// one in a folder that is missing or refuses a new file. Removes, and names,
// the unfinished outputs that killed runs to the same file left.
void checkOutputPath(const std::string& given, const std::string& spelling);

}  // namespace onefile
