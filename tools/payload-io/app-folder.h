// An application folder as the bootstrap will unpack it: every regular file,
// with the name it gets on Windows, the main program first and the rest in
// one fixed order, so that the same folder always gives the same payload.
//
// Symbolic links are followed when their target lies inside the folder (the
// file appears under the link's name) and refused when it leaves the folder,
// is missing, or leads back into a folder that contains the link.
#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "payload-io/exclude-patterns.h"

namespace onefile {

struct FolderFile {
  std::filesystem::path source;  // read through any link
  std::string relative;          // as on disk, '/'-separated
  std::u16string recordName;     // as stored, '\\'-separated
  uint64_t size = 0;             // at scan time
};

// Throws PackError naming the file that cannot be packed, and why, or
// RefusedFiles naming each of several. An excluded entry is not looked at,
// so nothing in it is refused; the main program is never excluded.
std::vector<FolderFile> scanAppFolder(const std::filesystem::path& root, const std::string& mainProgram);
std::vector<FolderFile> scanAppFolder(const std::filesystem::path& root, const std::string& mainProgram,
                                      ExcludePatterns& excluded);

// The main program's name as the folder spells it: a name given in another
// case names the file as Windows would find it. Any other name is returned
// as given, for the scan to say what is wrong with it.
std::string mainProgramOnDisk(const std::filesystem::path& root, const std::string& mainProgram);

// The program a command line that names none most likely means: the
// folder's only .exe at its top, else the one named like the folder.
std::optional<std::string> likelyMainProgram(const std::filesystem::path& root);

// "root/relative" for messages, with unprintable bytes escaped.
std::string displayPath(const std::filesystem::path& root, const std::string& relative);

// Files whose full target path (cache folder, a backslash, the name and the
// terminating zero) would not fit the bootstrap's path buffer under a cache
// folder of cacheFolderUnits UTF-16 code units.
std::vector<const FolderFile*> filesTooLongFor(const std::vector<FolderFile>& files, size_t cacheFolderUnits);

// The longest cache folder, in UTF-16 code units, that a name leaves room for.
size_t longestCacheFolderFor(const std::u16string& recordName);

}  // namespace onefile
