#include "payload-io/index-check.h"

#include <zstd.h>

#include <memory>
#include <string>
#include <vector>

#include "payload/frame-index.h"

namespace onefile {
namespace {

struct DecoderFree {
  void operator()(ZSTD_DCtx* decoder) const { ZSTD_freeDCtx(decoder); }
};

}  // namespace

IndexLayout checkIndexes(const unsigned char* frames, size_t size, uint64_t fileOffset) {
  DecodedStream stream(frames, size, fileOffset);
  RecordReader reader(stream);
  while (std::optional<RecordEntry> record = reader.next())
    reader.readContent(record->size, [](const unsigned char*, size_t) {});
  return reader.layout();
}

std::optional<IndexedContents> contentsFromIndexes(const unsigned char* frames, size_t size, uint64_t fileOffset) {
  std::unique_ptr<ZSTD_DCtx, DecoderFree> decoder(ZSTD_createDCtx());
  if (!decoder) throw std::bad_alloc();
  IndexedContents contents;
  std::vector<unsigned char> entries;
  size_t at = 0;
  for (uint64_t frame = 1;; ++frame) {
    IndexFrame index;
    IndexStatus status = findIndexFrame(frames + at, size - at, &index);
    if (status == INDEX_NONE && frame == 1) return std::nullopt;
    std::string which = "the index of frame " + std::to_string(frame);
    if (status == INDEX_NONE)
      throw PayloadDamage("frame " + std::to_string(frame) + " has no index, as every frame before it has", 0,
                          fileOffset + at);
    if (status == INDEX_DAMAGED) throw PayloadDamage(which + " is damaged", 0, fileOffset + at);
    // Its sizes are believed only now that its checksum holds.
    entries.resize(index.entriesSize);
    bool holdsEnd = false;
    if (!decodeIndexEntries(decoder.get(), &index, entries.data(), &holdsEnd))
      throw PayloadDamage(which + " is damaged", 0, fileOffset + at);
    RecordHeader entry;
    for (size_t position = 0; readIndexEntry(entries.data(), entries.size(), &position, &entry) == INDEX_ENTRY_FILE;) {
      contents.files += 1;
      contents.contentBytes += entry.size;
    }
    if (holdsEnd) return contents;
    at += index.indexSize + static_cast<size_t>(index.frameSize);
  }
}

}  // namespace onefile
