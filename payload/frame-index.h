// Shared with onefile-pack: compiled by both sides, it stands on its own and
// includes only system headers and the other shared headers.
//
// The index before a frame (payload/format.h): found and checked in memory,
// its entries decoded and walked. Every outcome is a status, so each caller
// chooses its own ending.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "payload/record-cursor.h"

// An index whose own checksum and sizes hold, and the frame it describes.
struct IndexFrame {
  size_t indexSize;  // the index's own bytes; the frame follows them
  uint64_t frameSize;
  const unsigned char* compressedEntries;
  size_t compressedEntriesSize;
  uint32_t entriesSize;  // what the entries decode to
};

enum IndexStatus : unsigned {
  INDEX_NONE,     // no index starts here
  INDEX_FOUND,
  INDEX_DAMAGED,  // one starts here, but its checksum fails or its sizes leave the bytes
};

// Looks for an index at bytes[0]; size is what the payload holds from there
// on, which the index and its frame must fit in.
IndexStatus findIndexFrame(const unsigned char* bytes, size_t size, IndexFrame* index);

// Decodes the entries of index into entries[0..index->entriesSize) in one
// call, which makes the decoder allocate no window; true when they decode to
// exactly that many bytes and form a sound list: at least one entry, each
// whole, with an end record only as the last. *holdsEnd says whether the
// frame holds the end record. The decoder is left ready for a new frame.
bool decodeIndexEntries(ZSTD_DCtx* decoder, const IndexFrame* index, unsigned char* entries, bool* holdsEnd);

enum IndexEntryStatus : unsigned {
  INDEX_ENTRY_FILE,
  INDEX_ENTRY_END,      // the end record
  INDEX_ENTRIES_DONE,   // no entry left
  INDEX_ENTRY_DAMAGED,  // cut short, or a name longer than a record's may be
};

// The entry at entries[*position], as a record header; moves *position past it.
IndexEntryStatus readIndexEntry(const unsigned char* entries, size_t size, size_t* position, RecordHeader* header);

// Whether two headers name the same file with the same size and checksum.
bool isSameRecordHeader(const RecordHeader* a, const RecordHeader* b);
