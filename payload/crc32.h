// Shared with onefile-pack: compiled by both sides, it stands on its own and
// includes only system headers and the other shared headers.
//
// The standard CRC-32 (zlib's crc32: reflected polynomial 0xEDB88320, register
// preset and result complemented), faster where the processor can multiply
// without carries. Same interface as zlib's: pass 0 to start, or the value of
// the bytes before to continue.
#pragma once
#include <stddef.h>
#include <stdint.h>

uint32_t crc32Update(uint32_t crc, const unsigned char* bytes, size_t length);
