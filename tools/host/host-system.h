// The few services the packer needs from the machine it runs on, each with
// one form for Linux and one for Windows.
#pragma once
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace onefile {

// Processors available to this process; at least 1.
unsigned processorCount();

// Whether the stream is shown on a terminal or console (and not a file,
// pipe or the null device).
bool isTerminal(std::FILE* stream);

// Opens a file for binary reading by its path, Unicode names included;
// nullptr with errno set on failure.
std::FILE* openForReading(const std::filesystem::path& path);

// Creates (or empties) a file for binary writing and reading back; nullptr
// with errno set on failure.
std::FILE* openScratchFile(const std::filesystem::path& path);

// A whole file's bytes; throws PackError naming shownName when it cannot be read.
std::string readWholeFile(const std::filesystem::path& path, const std::string& shownName);

// The names (UTF-8) of the entries directly in folder, without "." and "..";
// error is set when the folder cannot be read. On Windows the system reads
// the folder: the C runtime's folder reading, under std::filesystem's
// iterators, takes no path beyond 260 characters.
std::vector<std::string> folderEntryNames(const std::filesystem::path& folder, std::error_code& error);

#ifdef _WIN32
// Users download the tool and start it from their download folder, where a
// web page may drop any file: from here on, no library is looked for beside
// the tool or in the current folder, only in the system folder. Where the
// system lacks the means (Windows 7 without its loader update), the current
// folder at least is left out. The first call of the program.
void loadLibrariesFromSystemFolderOnly();
#endif

}  // namespace onefile
