// Shared with onefile-pack: compiled by both sides, it stands on its own and
// includes only system headers and the shared headers.
#include "payload/frame-index.h"

#include <zstd.h>

#include "payload/crc32.h"

namespace {

constexpr size_t INDEX_HEADER_BYTES = INDEX_MAGIC_BYTES + INDEX_LENGTH_BYTES;
constexpr size_t INDEX_FIELDS_BYTES = INDEX_HEADER_BYTES + INDEX_FRAME_SIZE_BYTES + INDEX_ENTRIES_SIZE_BYTES;

}  // namespace

// The checksum covers the index's every byte before it, its length field
// included: a damaged length reads the checksum from the wrong place. Only
// then are the sizes believed.
IndexStatus findIndexFrame(const unsigned char* bytes, size_t size, IndexFrame* index) {
  if (size < INDEX_MAGIC_BYTES || readLittleEndian(bytes, INDEX_MAGIC_BYTES) != PAYLOAD_INDEX_MAGIC) return INDEX_NONE;
  if (size < INDEX_FIXED_BYTES) return INDEX_DAMAGED;
  uint64_t length = readLittleEndian(bytes + INDEX_MAGIC_BYTES, INDEX_LENGTH_BYTES);
  if (length < INDEX_FIXED_BYTES - INDEX_HEADER_BYTES || length > size - INDEX_HEADER_BYTES) return INDEX_DAMAGED;
  size_t indexSize = INDEX_HEADER_BYTES + (size_t)length;
  size_t checked = indexSize - INDEX_CHECKSUM_BYTES;
  if (crc32Update(0, bytes, checked) != (uint32_t)readLittleEndian(bytes + checked, INDEX_CHECKSUM_BYTES))
    return INDEX_DAMAGED;
  uint64_t frameSize = readLittleEndian(bytes + INDEX_HEADER_BYTES, INDEX_FRAME_SIZE_BYTES);
  uint64_t entriesSize = readLittleEndian(bytes + INDEX_HEADER_BYTES + INDEX_FRAME_SIZE_BYTES, INDEX_ENTRIES_SIZE_BYTES);
  if (frameSize == 0 || frameSize > size - indexSize) return INDEX_DAMAGED;
  if (entriesSize < RECORD_NAME_UNIT_BYTES || entriesSize > INDEX_ENTRIES_MAX_BYTES) return INDEX_DAMAGED;
  index->indexSize = indexSize;
  index->frameSize = frameSize;
  index->compressedEntries = bytes + INDEX_FIELDS_BYTES;
  index->compressedEntriesSize = checked - INDEX_FIELDS_BYTES;
  index->entriesSize = (uint32_t)entriesSize;
  return INDEX_FOUND;
}

bool decodeIndexEntries(ZSTD_DCtx* decoder, const IndexFrame* index, unsigned char* entries, bool* holdsEnd) {
  size_t decoded = ZSTD_decompressDCtx(decoder, entries, index->entriesSize, index->compressedEntries,
                                       index->compressedEntriesSize);
  // The one-shot call leaves the streaming side of the decoder as it was;
  // the frame after the index starts it anew.
  ZSTD_DCtx_reset(decoder, ZSTD_reset_session_only);
  if (ZSTD_isError(decoded) || decoded != index->entriesSize) return false;
  RecordHeader header;
  size_t position = 0, files = 0;
  *holdsEnd = false;
  for (;;) {
    switch (readIndexEntry(entries, index->entriesSize, &position, &header)) {
      case INDEX_ENTRY_FILE:
        if (*holdsEnd) return false;
        ++files;
        break;
      case INDEX_ENTRY_END:
        if (*holdsEnd) return false;
        *holdsEnd = true;
        break;
      case INDEX_ENTRIES_DONE:
        return files > 0 || *holdsEnd;
      default:
        return false;
    }
  }
}

IndexEntryStatus readIndexEntry(const unsigned char* entries, size_t size, size_t* position, RecordHeader* header) {
  size_t at = *position;
  if (at == size) return INDEX_ENTRIES_DONE;
  for (size_t used = 0;; ++used) {
    if (used == RECORD_NAME_CAPACITY || size - at < RECORD_NAME_UNIT_BYTES) return INDEX_ENTRY_DAMAGED;
    header->name[used] = (RecordNameUnit)readLittleEndian(entries + at, RECORD_NAME_UNIT_BYTES);
    at += RECORD_NAME_UNIT_BYTES;
    if (header->name[used] == 0) {
      header->nameLength = used;
      break;
    }
  }
  if (header->nameLength == 0) {
    header->size = 0;
    header->checksum = 0;
    *position = at;
    return INDEX_ENTRY_END;
  }
  if (size - at < RECORD_SIZE_BYTES + RECORD_CHECKSUM_BYTES) return INDEX_ENTRY_DAMAGED;
  header->size = readLittleEndian(entries + at, RECORD_SIZE_BYTES);
  header->checksum = (uint32_t)readLittleEndian(entries + at + RECORD_SIZE_BYTES, RECORD_CHECKSUM_BYTES);
  *position = at + RECORD_SIZE_BYTES + RECORD_CHECKSUM_BYTES;
  return INDEX_ENTRY_FILE;
}

// An end record has a name of no units and nothing else.
bool isSameRecordHeader(const RecordHeader* a, const RecordHeader* b) {
  if (a->nameLength != b->nameLength) return false;
  if (a->nameLength == 0) return true;
  if (a->size != b->size || a->checksum != b->checksum) return false;
  for (size_t i = 0; i < a->nameLength; ++i)
    if (a->name[i] != b->name[i]) return false;
  return true;
}
