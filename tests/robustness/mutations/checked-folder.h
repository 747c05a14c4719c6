// Application folders whose main program checks every file against a list
// when it starts: the concurrent starts' two shapes, many small files and a
// few large ones.
#pragma once
#include <filesystem>
#include <string>

namespace mutations {

// The list beside the main program: one line per other file, "crc size name"
// (CRC-32 in 8 hex digits, size in decimal, the name relative and with
// backslashes, in UTF-8).
inline constexpr char FILE_LIST_NAME[] = "files.crc";

// Fills out (emptied first) with the shape's files ("many" or "large"), mainExe
// as app.exe, and the list of them all but the list itself.
void writeCheckedFolder(const std::filesystem::path& out, const std::filesystem::path& mainExe,
                        const std::string& shape);

}  // namespace mutations
