// The few services the packer needs from the machine it runs on, each with
// one form for Linux and one for Windows.
#pragma once
#include <cstdio>
#include <filesystem>

namespace onefile {

// Processors available to this process; at least 1.
unsigned processorCount();

// Whether the stream is shown on a terminal or console (and not a file,
// pipe or the null device).
bool isTerminal(std::FILE* stream);

// Opens a file for binary reading by its path, Unicode names included;
// nullptr with errno set on failure.
std::FILE* openForReading(const std::filesystem::path& path);

}  // namespace onefile
