// What packing an application folder takes on the command line, shared by
// the payload and build subcommands: --main, --exclude, --level, --threads,
// --frame-size and --cache-folder-length, and the folder's scan with its
// warnings.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "payload-io/app-folder.h"
#include "payload-io/exclude-patterns.h"
#include "onefile-pack/command-line.h"
#include "payload-io/frame-compressor.h"

namespace onefile {

extern const std::vector<OptionDefinition> FOLDER_OPTIONS;

struct FolderRequest {
  std::filesystem::path root;
  std::string mainProgram;
  ExcludePatterns excluded;
  CompressionSettings settings;
  size_t cacheFolderUnits = 0;
};

// The cache folder that names are checked against when neither the option
// nor a template says otherwise: as long as a whole classic Windows path
// (MAX_PATH). Names of up to 1023 code units always fit under it.
constexpr size_t ASSUMED_CACHE_FOLDER_UNITS = 260;

// Checks the options' values (OptionError, UsageError) without reading the
// folder. Without --cache-folder-length, names are checked against a cache
// folder of assumedCacheFolderUnits.
FolderRequest folderRequestFrom(const ParsedArguments& parsed, const std::filesystem::path& root,
                                size_t assumedCacheFolderUnits = ASSUMED_CACHE_FOLDER_UNITS);

// The folder's files, main program first, less those excluded; warns about
// names that may not fit under the cache folder, a pattern that leaves out
// nothing, and one that matches the main program, which is packed all the
// same. Throws PackError for a file that cannot be packed.
std::vector<FolderFile> scanRequestedFolder(const FolderRequest& request);

}  // namespace onefile
