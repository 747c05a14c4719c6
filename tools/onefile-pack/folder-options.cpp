#include "onefile-pack/folder-options.h"

#include <zstd.h>

#include <algorithm>
#include <cstdio>

#include "diag/limits.h"
#include "host/host-system.h"
#include "host/text-output.h"
#include "host/utf.h"

namespace onefile {
namespace {

constexpr long DEFAULT_LEVEL = 19;
constexpr long MAX_THREADS = 256;

long defaultThreads() { return static_cast<long>(processorCount()); }

// "./app.exe" names the same top-level file as "app.exe".
std::string mainProgramName(std::string name) {
  while (name.rfind("./", 0) == 0) name.erase(0, 2);
  return name;
}

void warnAboutLongNames(const std::filesystem::path& root, const std::vector<FolderFile>& files,
                        size_t cacheFolderUnits) {
  for (const FolderFile* file : filesTooLongFor(files, cacheFolderUnits))
    printText(stderr,
                 "onefile-pack: warning: %s: under a target folder of %zu code units its target path would not fit "
                 "the bootstrap's %u; it fits only under one of at most %zu\n",
                 displayPath(root, file->relative).c_str(), cacheFolderUnits, PATH_CAPACITY,
                 longestCacheFolderFor(file->recordName));
}

// A pattern that leaves nothing out is most often one that was meant for
// every folder and matches only at the top (*.pdb for **/*.pdb).
void warnAboutExcludePatterns(const FolderRequest& request, const ExcludePatterns& excluded) {
  std::vector<std::string> unused = excluded.unused();
  const char* others = request.excluded.size() > 1 ? " that the other patterns do not" : "";
  for (const std::string& pattern : unused)
    printText(stderr,
              "onefile-pack: warning: --exclude '%s' leaves out nothing%s; a pattern matches the whole path inside "
              "the folder (**/*.pdb in every folder, *.pdb only at its top)\n",
              displayName(pattern).c_str(), others);
  if (excluded.matches(request.mainProgram))
    printText(stderr, "onefile-pack: warning: --exclude matches the main program %s, which is packed all the same\n",
              displayName(request.mainProgram).c_str());
}

// --main, or what the folder suggests in its place: the user sees the
// option to pass.
std::string mainProgramFrom(const ParsedArguments& parsed, const std::filesystem::path& root) {
  if (std::optional<std::string> given = parsed.value("main")) return mainProgramName(*given);
  std::optional<std::string> likely = likelyMainProgram(root);
  if (!likely) throw UsageError("missing --main");
  std::string shown = displayName(*likely);
  if (shown.find(' ') != std::string::npos) shown = "\"" + shown + "\"";
  throw UsageError("missing --main; did you mean --main " + shown + "?");
}

constexpr uint64_t LARGEST_FRAME_SIZE = uint64_t{1} << 40;

// "SIZE": a count of bytes, or of KiB, MiB or GiB with K, M or G after it.
uint64_t frameSizeFrom(const ParsedArguments& parsed) {
  std::optional<std::string> text = parsed.value("frame-size");
  if (!text) return DEFAULT_FRAME_CONTENT_BYTES;
  size_t digits = std::min(text->find_first_not_of("0123456789"), text->size());
  std::string suffix = text->substr(digits);
  unsigned shift = suffix.empty() ? 0 : suffix == "K" ? 10 : suffix == "M" ? 20 : suffix == "G" ? 30 : 64;
  if (digits == 0 || shift == 64 || digits > 13)
    throw OptionError("--frame-size", "expects a size in bytes, or with K, M or G after it, not '" + *text + "'");
  // Compared before it is scaled, which could wrap around.
  uint64_t count = std::stoull(text->substr(0, digits));
  if (count > LARGEST_FRAME_SIZE >> shift) throw OptionError("--frame-size", "expects at most 1024G");
  return count << shift;
}

}  // namespace

const std::vector<OptionDefinition> FOLDER_OPTIONS = {
    {{"--main"}, "main", "REL", "the program to start: an .exe at the top of the folder"},
    {{"--exclude"}, "exclude", "PATTERN",
     "leave out the files whose path inside the folder matches, with / between folders on every system: * any "
     "part of a name, ? one character, ** any folders (**/*.pdb, tests/**); repeatable; never the main program",
     true},
    {{"--level"}, "level", "N",
     "zstd compression level, 1 to 22 (default 19); higher packs smaller and slower, and unpacking speed hardly "
     "changes"},
    {{"--threads"}, "threads", "N",
     "compression threads (default: one per processor; 0 counts as 1). The output does not depend on it."},
    {{"--frame-size"}, "frame-size", "SIZE",
     "content per frame, in bytes or with K, M or G (default 128M): a start that finds every file of a frame "
     "current steps over it without decoding it; 0 packs one frame without an index, which every start decodes"},
    {{"--cache-folder-length"}, "cache-folder-length", "N",
     "warn about files whose full path would not fit under a target folder (the cache folder the template gives) "
     "of N characters (default for build: estimated from the template, counting 259 for a system folder or the "
     "program's path; for payload: 260)"},
};

FolderRequest folderRequestFrom(const ParsedArguments& parsed, const std::filesystem::path& root,
                                size_t assumedCacheFolderUnits) {
  FolderRequest request;
  request.root = root;
  request.mainProgram = mainProgramOnDisk(root, mainProgramFrom(parsed, root));
  for (const std::string& pattern : parsed.values("exclude")) {
    if (std::optional<std::string> problem = ExcludePatterns::problem(pattern))
      throw OptionError("--exclude", "'" + displayName(pattern) + "' " + *problem);
    request.excluded.add(pattern);
  }
  request.settings.level = static_cast<int>(parsed.integer("level", "--level", DEFAULT_LEVEL, 1, ZSTD_maxCLevel()));
  request.settings.threads =
      static_cast<int>(parsed.integer("threads", "--threads", defaultThreads(), 0, MAX_THREADS));
  request.settings.frameContentBytes = frameSizeFrom(parsed);
  request.cacheFolderUnits = static_cast<size_t>(
      parsed.integer("cache-folder-length", "--cache-folder-length", static_cast<long>(assumedCacheFolderUnits), 1, PATH_CAPACITY));
  return request;
}

std::vector<FolderFile> scanRequestedFolder(const FolderRequest& request) {
  ExcludePatterns excluded = request.excluded;
  std::vector<FolderFile> files = scanAppFolder(request.root, request.mainProgram, excluded);
  warnAboutLongNames(request.root, files, request.cacheFolderUnits);
  warnAboutExcludePatterns(request, excluded);
  return files;
}

}  // namespace onefile
