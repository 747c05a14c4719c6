// The records' checksums: the standard CRC-32 (zlib's crc32) of the content.
#pragma once
#include <cstddef>
#include <cstdint>

namespace onefile {

inline constexpr uint32_t CRC32_INITIAL = 0;

uint32_t crc32Update(uint32_t crc, const void* bytes, size_t size);

// The value a record stores for content with this CRC-32. The bootstrap
// compares an existing file's CRC-32 with 0 taken as 1, and uses 0 for "no
// usable file": a stored 0 would make an empty file count as present while it
// is missing, and it would never be created. So 0 is stored as 1, the value
// the bootstrap's comparison gives for such content.
uint32_t storedChecksum(uint32_t crc);

}  // namespace onefile
