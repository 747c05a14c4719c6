// Shared with onefile-pack: compiled by both sides, it stands on its own and
// includes only system headers and the other shared headers.
//
// The attached payload's whole format, shared by the bootstrap and the
// packaging tool: change it here and both sides follow.
//
//   "ZBX" | zstd frame(s) | 4 zero bytes | u64 LE count of the bytes before it
//
// The frames decode to one stream of records, then an end record:
//   file record: name (UTF-16LE units, 1..RECORD_NAME_MAX_UNITS, then a zero
//                unit) | size (u64 LE) | checksum (u32 LE) | size bytes of content
//   end record:  a single zero unit (an empty name)
//
// The packer cuts the record stream into groups of whole records, one frame
// per group, and puts an index before each frame: a zstd skippable frame,
// which every zstd reader steps over by itself, so the record stream stays
// the same for any reader. A start that finds every file of a group already
// current steps over the group's frame without decoding it.
//   index:  PAYLOAD_INDEX_MAGIC (u32 LE) | N (u32 LE): the bytes that follow |
//           frame size (u64 LE): the compressed size of the frame after it |
//           entries size (u32 LE) | the entries, as one zstd frame |
//           CRC-32 (u32 LE) of every byte of the index before it
//   entries: the headers of the group's records (everything of a file record
//           before its content, byte for byte as in the frame), then the end
//           record when the frame holds it
// Either every frame has an index or none has (a payload of one frame, as
// every packer before the index wrote it).
#pragma once
#include <stdint.h>

inline constexpr unsigned char PAYLOAD_MAGIC[3] = {'Z', 'B', 'X'};
inline constexpr unsigned PAYLOAD_MAGIC_SIZE = 3;
inline constexpr unsigned PAYLOAD_TRAILER_ZERO_BYTES = 4;
inline constexpr unsigned PAYLOAD_LENGTH_FIELD_BYTES = 8;
inline constexpr unsigned PAYLOAD_TRAILER_SIZE = PAYLOAD_TRAILER_ZERO_BYTES + PAYLOAD_LENGTH_FIELD_BYTES;
inline constexpr unsigned PAYLOAD_WINDOW_LOG = 27;       // the decoder admits no larger

// One of zstd's sixteen skippable-frame magics (0x184D2A50 to 0x184D2A5F).
inline constexpr uint32_t PAYLOAD_INDEX_MAGIC = 0x184D2A5E;
inline constexpr unsigned INDEX_MAGIC_BYTES = 4;
inline constexpr unsigned INDEX_LENGTH_BYTES = 4;
inline constexpr unsigned INDEX_FRAME_SIZE_BYTES = 8;
inline constexpr unsigned INDEX_ENTRIES_SIZE_BYTES = 4;
inline constexpr unsigned INDEX_CHECKSUM_BYTES = 4;
inline constexpr unsigned INDEX_FIXED_BYTES = INDEX_MAGIC_BYTES + INDEX_LENGTH_BYTES + INDEX_FRAME_SIZE_BYTES +
                                              INDEX_ENTRIES_SIZE_BYTES + INDEX_CHECKSUM_BYTES;
// The most a group's entries may decode to: the packer starts a new group
// before it would exceed it, and the bootstrap holds them in one block.
inline constexpr uint32_t INDEX_ENTRIES_MAX_BYTES = 0x100000;

inline constexpr unsigned RECORD_NAME_MAX_UNITS = 1023;  // without the terminator
inline constexpr unsigned RECORD_NAME_CAPACITY = RECORD_NAME_MAX_UNITS + 1;  // a name held with its terminator
inline constexpr unsigned RECORD_NAME_UNIT_BYTES = 2;    // one UTF-16LE code unit
inline constexpr unsigned RECORD_SIZE_BYTES = 8;
inline constexpr unsigned RECORD_CHECKSUM_BYTES = 4;

// A record's checksum is the CRC-32 of its content, except that a CRC-32 of 0
// counts as 1, both when the packer stores it and when the bootstrap checks a
// file already on disk: 0 means "no usable file" there, and a stored 0 would
// make a missing file look current, so it would never be written.
inline constexpr uint32_t NO_USABLE_FILE = 0;
inline constexpr uint32_t recordChecksum(uint32_t crc) { return crc == NO_USABLE_FILE ? 1 : crc; }

// The trailer's length field and the record fields are little-endian.
inline uint64_t readLittleEndian(const unsigned char* bytes, unsigned count) {
  uint64_t value = 0;
  for (unsigned i = count; i-- > 0;) value = (value << 8) | bytes[i];
  return value;
}

static_assert(sizeof PAYLOAD_MAGIC == PAYLOAD_MAGIC_SIZE);
static_assert(recordChecksum(NO_USABLE_FILE) != NO_USABLE_FILE);
