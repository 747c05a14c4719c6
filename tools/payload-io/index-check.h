// The indexes of a payload's frames (payload/format.h), each checked against
// the records of the frame it describes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>

#include "payload-io/record-reader.h"

namespace onefile {

// frames[0..size) are the bytes between the magic and the trailer, which lie
// at fileOffset in the file. Reads the records through (record-reader.h),
// which checks each index against its frame, and says how the frames are
// laid out. Throws PayloadDamage saying which frame differs, and how, or
// where the payload is damaged otherwise.
IndexLayout checkIndexes(const unsigned char* frames, size_t size, uint64_t fileOffset);

struct IndexedContents {
  uint64_t files = 0;
  uint64_t contentBytes = 0;
};

// What the indexes name, read from them alone without decoding a frame;
// nullopt for a payload without indexes. Each index is checked by itself
// (checksum, sizes, entries), not against its frame. Throws PayloadDamage for
// a damaged index, or when the indexes end before the end record.
std::optional<IndexedContents> contentsFromIndexes(const unsigned char* frames, size_t size, uint64_t fileOffset);

}  // namespace onefile
