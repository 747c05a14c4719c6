// onefile-pack extract FILE DIR [--force] [-q]
//
// Writes the files that an executable or a payload carries into a folder,
// without running anything. Every name is checked first, by the checks that
// build applies, and so is what already lies in the folder: a refusal leaves
// nothing written. Each file is then written under a temporary name beside
// its place and moved there only when it is whole and its checksum matches.
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>

#include "host/byte-sink.h"
#include "payload-io/checksum.h"
#include "onefile-pack/command-line.h"
#include "onefile-pack/commands.h"
#include "host/counted-text.h"
#include "host/pack-error.h"
#include "payload-io/payload-file.h"
#include "payload-io/payload-names.h"
#include "payload/format.h"
#include "host/progress.h"
#include "host/text-output.h"
#include "host/utf.h"

namespace onefile {
namespace {

namespace fs = std::filesystem;

struct ExtractRequest {
  fs::path file, folder;
  std::string shown;  // the file, for messages
  bool force = false, quiet = false;
};

std::string shownPath(const fs::path& path) { return displayName(path.u8string()); }

// A folder on the way to a file must be a real folder: a link could lead out
// of the target folder.
void checkFolderOnTheWay(const fs::path& path) {
  std::error_code error;
  fs::file_status status = fs::symlink_status(path, error);
  if (!fs::exists(status)) return;
  if (fs::is_symlink(status))
    throw PackError(shownPath(path), "is a link; nothing is extracted through links, so that every file stays in the folder");
  if (!fs::is_directory(status)) throw PackError(shownPath(path), "is not a folder, and a file is to go into it");
}

void checkFileTarget(const fs::path& path, bool force) {
  std::error_code error;
  fs::file_status status = fs::symlink_status(path, error);
  if (!fs::exists(status)) return;
  if (fs::is_symlink(status) || fs::is_directory(status))
    throw PackError(shownPath(path), std::string("is a ") + (fs::is_symlink(status) ? "link" : "folder") +
                                         ", where the payload has a file");
  if (!force) throw PackError(shownPath(path), "exists; --force replaces it");
}

// Refuses before anything is written: what is in the way of a file, and two
// names that become one file here (an unpaired surrogate reads as U+FFFD).
void checkTargets(const ExtractRequest& request, const std::vector<RecordEntry>& records) {
  std::set<fs::path> targets;
  for (const RecordEntry& record : records) {
    fs::path target = hostPathOf(request.folder, record.name);
    if (!targets.insert(target).second)
      throw PackError(request.shown, "two of its names become the same file here: " + shownPath(target));
    fs::path onTheWay = request.folder;
    for (const fs::path& component : target.lexically_relative(request.folder).parent_path())
      checkFolderOnTheWay(onTheWay /= component);
    checkFileTarget(target, request.force);
  }
}

// An empty file may store 0, which list only warns about: its content is whole.
bool contentMatches(uint32_t stored, uint32_t crc) { return stored == recordChecksum(crc) || (stored == 0 && crc == 0); }

void extractRecord(RecordReader& reader, const RecordEntry& record, const ExtractRequest& request, Progress* bar) {
  fs::path target = hostPathOf(request.folder, record.name);
  fs::create_directories(target.parent_path());
  AtomicOutputFile output(target);
  uint32_t crc = CRC32_INITIAL;
  reader.readContent(record.size, [&](const unsigned char* bytes, size_t size) {
    crc = crc32Update(crc, bytes, size);
    output.write(bytes, size);
    if (bar != nullptr) bar->advance(size);
  });
  if (!contentMatches(record.checksum, crc)) {
    char reason[160];
    std::snprintf(reason, sizeof reason, "the stored checksum %08" PRIx32 " does not match the content's %08" PRIx32,
                  record.checksum, crc);
    throw PackError(request.shown, "damaged payload: " + displayName(utf16ToUtf8(record.name)) +
                                       " is not written: " + reason);
  }
  output.commit();
}

ExtractRequest requestFrom(const Arguments& arguments) {
  ParsedArguments parsed = parseArguments(arguments, extractOptions());
  if (parsed.positional.size() != 2) throw UsageError("expects a payload file (or executable) and a folder");
  ExtractRequest request;
  request.file = fs::u8path(parsed.positional[0]);
  request.folder = fs::u8path(parsed.positional[1]);
  request.shown = displayName(parsed.positional[0]);
  request.force = parsed.has("force");
  request.quiet = parsed.has("quiet");
  return request;
}

}  // namespace

std::vector<OptionDefinition> extractOptions() {
  return {{{"--force"}, "force", "", "replace files that already exist in DIR"}, quietOption()};
}

int runExtractCommand(const Arguments& arguments) {
  ExtractRequest request = requestFrom(arguments);
  PayloadFile payload(request.file);
  std::vector<RecordEntry> records = checkPayloadNames(payload, request.shown);
  checkTargets(request, records);
  fs::create_directories(request.folder);

  uint64_t total = 0;
  for (const RecordEntry& record : records) total += record.size;
  std::unique_ptr<TerminalProgressBar> bar =
      request.quiet ? nullptr : TerminalProgressBar::ifWatched(stderr, "Extracting");
  if (bar) bar->start(total);
  std::unique_ptr<DecodedStream> stream = payload.openStream();
  RecordReader reader(*stream);
  uint64_t files = 0;
  try {
    while (std::optional<RecordEntry> record = reader.next()) {
      extractRecord(reader, *record, request, bar.get());
      ++files;
    }
  } catch (const PayloadDamage& damage) {
    throw PackError(request.shown, "damaged payload after " + countedText(files, "file") + ": " + damage.what());
  }
  if (bar) bar->finish();
  if (!request.quiet)
    printText(stdout, "%s: %s, %s\n", shownPath(request.folder).c_str(), countedText(files, "file").c_str(),
              countedText(total, "byte").c_str());
  return EXIT_OK;
}

}  // namespace onefile
