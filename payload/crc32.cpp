// Shared with onefile-pack: compiled by both sides, it stands on its own and
// includes only system headers and the shared headers.
// CRC-32 by folding with carry-less multiplication (PCLMULQDQ): four 128-bit
// lanes are folded 64 bytes at a time, then into one lane, then reduced to
// 32 bits (Barrett). The constants are powers of x modulo the bit-reflected
// polynomial. About three times zlib's table-driven speed here, with the same
// results; processors without the instructions, and the last few bytes, go
// through zlib.
#include "payload/crc32.h"

#include <zlib.h>

// The folding needs x86's instructions; onefile-pack, which computes the same
// checksums, may be built for other processors, where zlib does all of it.
#if defined(__x86_64__) || defined(__i386__)
#define CRC32_CAN_FOLD 1
#include <cpuid.h>
#include <immintrin.h>
#else
#define CRC32_CAN_FOLD 0
#endif

namespace {

#if CRC32_CAN_FOLD
constexpr size_t FOLD_MINIMUM_BYTES = 64;  // one load of all four lanes
constexpr size_t LANE_BYTES = 16;

// x^(4*128+32) and x^(4*128-32), x^(128+32) and x^(128-32), x^64, each mod P
// and bit-reflected; then P itself and Barrett's quotient x^64 / P.
alignas(16) const uint64_t FOLD_BY_FOUR[2] = {0x0154442bd4, 0x01c6e41596};
alignas(16) const uint64_t FOLD_BY_ONE[2] = {0x01751997d0, 0x00ccaa009e};
alignas(16) const uint64_t FOLD_TO_64[2] = {0x0163cd6124, 0};
alignas(16) const uint64_t BARRETT[2] = {0x01db710641, 0x01f7011641};

bool hasCarrylessMultiply(void) {
  unsigned eax, ebx, ecx, edx;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  return (ecx & bit_PCLMUL) != 0 && (ecx & bit_SSE4_1) != 0;
}

// Asked once, before the entry point runs.
const bool canFold = hasCarrylessMultiply();

__attribute__((target("pclmul,sse4.1"))) inline __m128i fold(__m128i lane, __m128i constants, __m128i next) {
  __m128i low = _mm_clmulepi64_si128(lane, constants, 0x00);
  __m128i high = _mm_clmulepi64_si128(lane, constants, 0x11);
  return _mm_xor_si128(_mm_xor_si128(high, low), next);
}

// The register (not complemented) after a multiple of 16 bytes, at least 64.
__attribute__((target("pclmul,sse4.1"))) uint32_t foldBlocks(uint32_t reg, const unsigned char* bytes,
                                                              size_t length) {
  const __m128i* in = reinterpret_cast<const __m128i*>(bytes);
  __m128i lane0 = _mm_xor_si128(_mm_loadu_si128(in), _mm_cvtsi32_si128((int)reg));
  __m128i lane1 = _mm_loadu_si128(in + 1);
  __m128i lane2 = _mm_loadu_si128(in + 2);
  __m128i lane3 = _mm_loadu_si128(in + 3);
  in += 4;
  length -= FOLD_MINIMUM_BYTES;

  __m128i constants = _mm_load_si128(reinterpret_cast<const __m128i*>(FOLD_BY_FOUR));
  for (; length >= FOLD_MINIMUM_BYTES; length -= FOLD_MINIMUM_BYTES, in += 4) {
    lane0 = fold(lane0, constants, _mm_loadu_si128(in));
    lane1 = fold(lane1, constants, _mm_loadu_si128(in + 1));
    lane2 = fold(lane2, constants, _mm_loadu_si128(in + 2));
    lane3 = fold(lane3, constants, _mm_loadu_si128(in + 3));
  }

  constants = _mm_load_si128(reinterpret_cast<const __m128i*>(FOLD_BY_ONE));
  __m128i folded = fold(lane0, constants, lane1);
  folded = fold(folded, constants, lane2);
  folded = fold(folded, constants, lane3);
  for (; length >= LANE_BYTES; length -= LANE_BYTES, ++in) folded = fold(folded, constants, _mm_loadu_si128(in));

  // 128 bits to 64, then Barrett's reduction to 32.
  const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
  __m128i x = _mm_xor_si128(_mm_srli_si128(folded, 8), _mm_clmulepi64_si128(folded, constants, 0x10));
  __m128i toSixtyFour = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(FOLD_TO_64));
  x = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x, low32), toSixtyFour, 0x00), _mm_srli_si128(x, 4));
  __m128i barrett = _mm_load_si128(reinterpret_cast<const __m128i*>(BARRETT));
  __m128i quotient = _mm_clmulepi64_si128(_mm_and_si128(x, low32), barrett, 0x10);
  __m128i product = _mm_clmulepi64_si128(_mm_and_si128(quotient, low32), barrett, 0x00);
  return (uint32_t)_mm_extract_epi32(_mm_xor_si128(x, product), 1);
}
#endif

}  // namespace

uint32_t crc32Update(uint32_t crc, const unsigned char* bytes, size_t length) {
#if CRC32_CAN_FOLD
  if (canFold && length >= FOLD_MINIMUM_BYTES) {
    size_t folded = length & ~(LANE_BYTES - 1);
    crc = ~foldBlocks(~crc, bytes, folded);
    bytes += folded;
    length -= folded;
  }
#endif
  // zlib takes at most 4 GiB - 1 bytes per call; only the tail reaches it
  // on the folding path.
  while (length > 0) {
    uInt piece = length > 0x40000000u ? 0x40000000u : (uInt)length;
    crc = (uint32_t)crc32(crc, bytes, piece);
    bytes += piece;
    length -= piece;
  }
  return crc;
}
