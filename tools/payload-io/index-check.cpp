#include "payload-io/index-check.h"

#include <zstd.h>

#include <memory>
#include <string>
#include <vector>

#include "host/utf.h"
#include "payload-io/record-reader.h"
#include "payload/frame-index.h"

namespace onefile {
namespace {

struct DecoderFree {
  void operator()(ZSTD_DCtx* decoder) const { ZSTD_freeDCtx(decoder); }
};

std::u16string nameOf(const RecordHeader& header) {
  return std::u16string(header.name, header.name + header.nameLength);
}

std::string entryText(const RecordHeader& header) {
  if (header.nameLength == 0) return "the end record";
  return utf16ToUtf8(nameOf(header)) + " (" + std::to_string(header.size) + " bytes, checksum " +
         std::to_string(header.checksum) + ")";
}

// The frame's records against the entries, one by one.
void checkFrame(const unsigned char* frame, uint64_t frameSize, uint64_t fileOffset,
                const std::vector<unsigned char>& entries, const std::string& which) {
  DecodedStream stream(frame, frameSize, fileOffset);
  RecordReader reader(stream);
  RecordHeader entry;
  size_t position = 0;
  for (;;) {
    IndexEntryStatus status = readIndexEntry(entries.data(), entries.size(), &position, &entry);
    if (status == INDEX_ENTRIES_DONE) break;
    std::optional<RecordEntry> record = reader.next();
    bool same = status == INDEX_ENTRY_END
                    ? !record
                    : record && record->name == nameOf(entry) && record->size == entry.size &&
                          record->checksum == entry.checksum;
    if (!same)
      throw PayloadDamage(which + " names " + entryText(entry) + ", but its frame holds " +
                              (record ? utf16ToUtf8(record->name) + " (" + std::to_string(record->size) +
                                            " bytes, checksum " + std::to_string(record->checksum) + ")"
                                      : std::string("the end record")),
                          stream.decodedOffset(), stream.fileOffset());
    if (record) reader.readContent(record->size, [](const unsigned char*, size_t) {});
  }
  DecodeStatus end = decodeStreamEndsHere(&stream.cursor());
  if (end == DECODE_DAMAGED && stream.cursor().error != 0) stream.throwDamage();
  if (end != DECODE_OK)
    throw PayloadDamage("the frame after " + which + " does not end where its entries do", stream.decodedOffset(),
                        stream.fileOffset());
}

}  // namespace

IndexLayout checkIndexes(const unsigned char* frames, size_t size, uint64_t fileOffset) {
  IndexLayout layout;
  std::unique_ptr<ZSTD_DCtx, DecoderFree> decoder(ZSTD_createDCtx());
  if (!decoder) throw std::bad_alloc();
  size_t at = 0;
  for (bool holdsEnd = false; !holdsEnd;) {
    IndexFrame index;
    IndexStatus status = findIndexFrame(frames + at, size - at, &index);
    if (status == INDEX_NONE && at == 0) return layout;
    std::string which = "the index of frame " + std::to_string(layout.frames + 1);
    if (status == INDEX_NONE)
      throw PayloadDamage("frame " + std::to_string(layout.frames + 1) + " has no index, as every frame before it has",
                          0, fileOffset + at);
    if (status == INDEX_DAMAGED)
      throw PayloadDamage(which + " is damaged: its checksum fails or its sizes leave the payload", 0, fileOffset + at);
    std::vector<unsigned char> entries(index.entriesSize);
    if (!decodeIndexEntries(decoder.get(), &index, entries.data(), &holdsEnd))
      throw PayloadDamage(which + " is damaged: its entries do not decode to a list of records", 0, fileOffset + at);
    layout.indexed = true;
    layout.frames += 1;
    at += index.indexSize;
    checkFrame(frames + at, index.frameSize, fileOffset + at, entries, which);
    at += index.frameSize;
  }
  return layout;
}

}  // namespace onefile
