// The attached payload's layout, shared by the bootstrap's reader and the
// host-side payload writer.
//
//   "ZBX" | zstd frame(s) | 4 zero bytes | u64 LE count of the bytes before it
//
// The decoded stream is a sequence of file records, then an end record:
//   name: UTF-16LE code units, then a zero unit (an empty name ends the stream)
//   size: u64 LE, checksum: u32 LE (CRC-32 of the content), content
#pragma once
#include <stdint.h>

inline constexpr unsigned char PAYLOAD_MAGIC[3] = {'Z', 'B', 'X'};
inline constexpr unsigned PAYLOAD_MAGIC_SIZE = 3;
inline constexpr unsigned PAYLOAD_TRAILER_SIZE = 12;     // 4 zero bytes + u64 length
inline constexpr unsigned PAYLOAD_TRAILER_ZERO_BYTES = 4;
inline constexpr unsigned PAYLOAD_LENGTH_FIELD_BYTES = 8;
inline constexpr unsigned PAYLOAD_WINDOW_LOG = 27;       // the decoder admits no larger
inline constexpr unsigned RECORD_NAME_MAX_UNITS = 1023;  // without the terminator
inline constexpr unsigned RECORD_NAME_UNIT_BYTES = 2;    // one UTF-16LE code unit
inline constexpr unsigned RECORD_SIZE_BYTES = 8;
inline constexpr unsigned RECORD_CHECKSUM_BYTES = 4;
