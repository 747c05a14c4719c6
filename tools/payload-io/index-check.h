// The indexes of a payload's frames (payload/format.h), each checked against
// the records of the frame it describes, for verify and list.
#pragma once
#include <cstddef>
#include <cstdint>

namespace onefile {

struct IndexLayout {
  bool indexed = false;  // false: one frame (or frames) without an index
  uint64_t frames = 0;   // frames with an index
};

// frames[0..size) are the bytes between the magic and the trailer, which lie
// at fileOffset in the file. For an indexed payload, checks each index (its
// own checksum and sizes), decodes its frame alone, and requires the frame to
// hold exactly the records its entries name, in order, and to end right
// after them; the last frame must hold the end record. Throws PayloadDamage
// saying which frame differs, and how.
IndexLayout checkIndexes(const unsigned char* frames, size_t size, uint64_t fileOffset);

}  // namespace onefile
