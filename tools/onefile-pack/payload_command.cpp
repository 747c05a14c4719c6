// onefile-pack payload APP_DIR --main REL -o FILE [--level N] [--threads N]
//                      [--cache-folder-length N]
#include <zstd.h>

#include <cstdio>
#include <memory>

#include "app_folder.h"
#include "command_line.h"
#include "commands.h"
#include "diag/limits.h"
#include "host_system.h"
#include "payload_writer.h"
#include "utf.h"

namespace onefile {
namespace {

constexpr long DEFAULT_LEVEL = 19;
constexpr long MAX_THREADS = 256;
// The cache folder that names are checked against unless told otherwise: as
// long as a whole classic Windows path (MAX_PATH). Names of up to 1023 code
// units always fit under it; a longer cache folder is given with the option.
constexpr long DEFAULT_CACHE_FOLDER_LENGTH = 260;

const std::vector<OptionSpec> OPTIONS = {
    {{"--main"}, "main"},
    {{"-o", "--output"}, "output"},
    {{"--level"}, "level"},
    {{"--threads"}, "threads"},
    {{"--cache-folder-length"}, "cache-folder-length"},
};

long defaultThreads() { return static_cast<long>(processorCount()); }

// "./app.exe" names the same top-level file as "app.exe".
std::string mainProgramName(std::string name) {
  while (name.rfind("./", 0) == 0) name.erase(0, 2);
  return name;
}

void warnAboutLongNames(const std::filesystem::path& root, const std::vector<FolderFile>& files,
                        size_t cacheFolderUnits) {
  for (const FolderFile* file : filesTooLongFor(files, cacheFolderUnits))
    std::fprintf(stderr,
                 "onefile-pack: warning: %s: under a cache folder of %zu code units its target path would not fit "
                 "the bootstrap's %u; it fits only under one of at most %zu\n",
                 displayPath(root, file->relative).c_str(), cacheFolderUnits, PATH_CAPACITY,
                 longestCacheFolderFor(file->recordName));
}

}  // namespace

int runPayloadCommand(const Arguments& arguments) {
  ParsedArguments parsed = parseArguments(arguments, OPTIONS);
  if (parsed.positional.size() != 1) throw UsageError("expects exactly one application folder");
  std::filesystem::path root = std::filesystem::u8path(parsed.positional[0]);
  std::string mainProgram = mainProgramName(parsed.required("main", "--main"));
  std::filesystem::path output = std::filesystem::u8path(parsed.required("output", "-o"));
  CompressionSettings settings;
  settings.level = static_cast<int>(parsed.integer("level", "--level", DEFAULT_LEVEL, 1, ZSTD_maxCLevel()));
  settings.threads = static_cast<int>(parsed.integer("threads", "--threads", defaultThreads(), 0, MAX_THREADS));
  size_t cacheFolderUnits = static_cast<size_t>(
      parsed.integer("cache-folder-length", "--cache-folder-length", DEFAULT_CACHE_FOLDER_LENGTH, 1, PATH_CAPACITY));

  std::vector<FolderFile> files = scanAppFolder(root, mainProgram);
  warnAboutLongNames(root, files, cacheFolderUnits);
  std::unique_ptr<TerminalProgressBar> bar;
  if (TerminalProgressBar::wanted(stderr)) bar = std::make_unique<TerminalProgressBar>(stderr);
  PackSummary summary = writePayloadFile(files, settings, output, bar.get());
  std::printf("%s: %llu files, %llu bytes of content, payload of %llu bytes\n",
              displayName(output.u8string()).c_str(), static_cast<unsigned long long>(summary.files),
              static_cast<unsigned long long>(summary.contentBytes),
              static_cast<unsigned long long>(summary.payloadBytes));
  return EXIT_OK;
}

}  // namespace onefile
