// Facts about the test payloads that payload-fixture makes, shared by the
// host tests and the Windows tests that read them.
#pragma once
#include <stdint.h>

namespace fixture_layout {

// The decoder's output block in the bootstrap's reader.
inline constexpr uint64_t READER_BLOCK = 0x20000;

// "damaged": the compressed block that starts at this decoded offset has an
// invalid block type; everything before it decodes.
inline constexpr uint64_t DAMAGED_FROM = 2 * READER_BLOCK + 40000;

// "exact-block": the decoded stream is one reader block and a little more.
inline constexpr uint64_t EXACT_BLOCK_STREAM = READER_BLOCK + 50;

}  // namespace fixture_layout
