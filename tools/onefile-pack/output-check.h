// The output a command is to write, checked before any work: a folder, or a
// folder that does not exist or cannot be written, would otherwise fail only
// when the finished file is moved into place, after all the packing.
#pragma once
#include <filesystem>
#include <string>

namespace onefile {

// Throws OptionError (for spelling, e.g. "-o") when given names a folder, and
// PackError when its folder is missing or refuses a new file.
void checkOutputPath(const std::string& given, const std::string& spelling);

}  // namespace onefile
