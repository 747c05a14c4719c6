// onefile-pack list FILE
// Prints each record as it is validated, so that a damaged payload shows the
// records before the damage and then says where it breaks; then how the
// payload is laid out in frames, every index checked against its frame on
// the way.
#include <cinttypes>
#include <cstdio>

#include "payload-io/checksum.h"
#include "onefile-pack/first-start-options.h"
#include "onefile-pack/command-line.h"
#include "onefile-pack/commands.h"
#include "host/counted-text.h"
#include "payload-io/payload-file.h"
#include "payload/format.h"
#include "resources/attached.h"
#include "host/text-output.h"
#include "host/utf.h"

namespace onefile {
namespace {

struct Totals {
  uint64_t files = 0;
  uint64_t contentBytes = 0;
};

void printWhere(const std::string& file, const PayloadLocation& location) {
  if (location.embedded) {
    printText(stdout, "%s: executable carrying a payload of %zu bytes at byte %zu\n", file.c_str(), location.length,
              location.offset);
    // The default, closing where the files are written, goes without saying.
    if (attachedCloseThreads(location.attachedFlags) != 0)
      printText(stdout, "closes the files a start writes %s\n", closeThreadsText(location.attachedFlags).c_str());
    printText(stdout, "at an update %s\n", linksBetweenVersionsText(location.attachedFlags).c_str());
  } else
    printText(stdout, "%s: payload file of %zu bytes\n", file.c_str(), location.length);
  printText(stdout, "%14s  %-8s  %s\n", "Size", "Checksum", "Name");
}

// Checks one record's content against its stored checksum and prints its row.
void listRecord(RecordReader& reader, const RecordEntry& record, DecodedStream& stream, Totals* totals) {
  uint32_t crc = CRC32_INITIAL;
  reader.readContent(record.size, [&](const unsigned char* bytes, size_t size) { crc = crc32Update(crc, bytes, size); });
  std::string name = utf16ToUtf8(record.name);
  printText(stdout, "%14" PRIu64 "  %08" PRIx32 "  %s\n", record.size, record.checksum, name.c_str());
  totals->files += 1;
  totals->contentBytes += record.size;
  if (record.checksum == 0 && crc == 0) {
    printText(stderr,
                 "onefile-pack: warning: %s stores checksum 0: the bootstrap takes it for present while it is "
                 "missing, and never creates it\n",
                 name.c_str());
  } else if (record.checksum != recordChecksum(crc)) {
    char reason[160];
    std::snprintf(reason, sizeof reason, "the stored checksum %08" PRIx32 " does not match the content's %08" PRIx32,
                  record.checksum, crc);
    throw PayloadDamage(reason, stream.decodedOffset(), stream.fileOffset());
  }
}

}  // namespace

int runListCommand(const Arguments& arguments) {
  ParsedArguments parsed = parseArguments(arguments, noOptions());
  if (parsed.positional.size() != 1) throw UsageError("expects exactly one payload file or executable");
  std::string shown = displayName(parsed.positional[0]);
  PayloadFile payload(std::filesystem::u8path(parsed.positional[0]));
  printWhere(shown, payload.location());

  std::unique_ptr<DecodedStream> stream = payload.openStream();
  RecordReader reader(*stream);
  Totals totals;
  std::string context = "in the first record";
  try {
    while (std::optional<RecordEntry> record = reader.next()) {
      context = "in the record of " + utf16ToUtf8(record->name);
      listRecord(reader, *record, *stream, &totals);
      context = "after the record of " + utf16ToUtf8(record->name);
    }
    context = "after the end record";
    uint64_t beyond = stream->drain();
    if (beyond > 0)
      printText(stderr, "onefile-pack: note: %s: %" PRIu64 " decoded bytes follow the end record; the bootstrap ignores them\n",
                   shown.c_str(), beyond);
  } catch (const PayloadDamage& damage) {
    printText(stderr, "onefile-pack: %s: damaged %s: %s\n", shown.c_str(), context.c_str(), damage.what());
    return EXIT_FAILED;
  }
  const IndexLayout& layout = reader.layout();
  if (!payload.location().trailerValid) {
    printText(stderr, "onefile-pack: %s: damaged trailer: not four zero bytes and the count of the bytes before it\n",
                 shown.c_str());
    return EXIT_FAILED;
  }
  printText(stdout, "%s, %s of content, %" PRIu64 " bytes decoded, payload of %zu bytes\n",
            countedText(totals.files, "file").c_str(), countedText(totals.contentBytes, "byte").c_str(),
            stream->decodedOffset(), payload.location().length);
  if (layout.indexed)
    printText(stdout, "%s, %safter its index\n", countedText(layout.frames, "frame").c_str(),
              layout.frames == 1 ? "" : "each ");
  else
    printText(stdout, "no index: every start decodes the whole payload\n");
  return EXIT_OK;
}

}  // namespace onefile
