// The records' checksums: the standard CRC-32 (zlib's crc32) of the content,
// stored through recordChecksum (payload/format.h).
#pragma once
#include <cstddef>
#include <cstdint>

namespace onefile {

inline constexpr uint32_t CRC32_INITIAL = 0;

uint32_t crc32Update(uint32_t crc, const void* bytes, size_t size);

}  // namespace onefile
