// The records' checksums: the standard CRC-32 of the content, stored through
// recordChecksum (payload/format.h). The routine is the bootstrap's own
// (payload/crc32.h), so that the packer and the bootstrap compute one CRC-32.
#pragma once
#include <cstdint>

#include "payload/crc32.h"

namespace onefile {

inline constexpr uint32_t CRC32_INITIAL = 0;

using ::crc32Update;

}  // namespace onefile
