// Shared with onefile-pack: compiled by both sides, it stands on its own and
// includes only system headers and the other shared headers.
//
// The section in which a built executable carries its attached data: written
// by onefile-pack into a copy of the prebuilt bootstrap, and found by the
// bootstrap in its own loaded image. Both sides include this one header.
//
// The section starts with AttachedDataHeader (all fields little-endian);
// offsets count from the section's first byte:
//
//   header | path template | version text | padding | payload
//
// The two texts are UTF-16LE with a terminating zero unit. The payload is
// the "ZBX" array, aligned to PAYLOAD_ALIGNMENT; its length is the header's
// payloadSize, fixed when the executable is built.
#pragma once
#include <stdint.h>

inline constexpr char ATTACHED_SECTION_NAME[8] = {'.', 'o', 'n', 'e', 'f', 'i', 'l', 'e'};
inline constexpr unsigned char ATTACHED_DATA_TAG[8] = {'O', 'N', 'E', 'F', 'I', 'L', 'E', '1'};
inline constexpr unsigned ATTACHED_PAYLOAD_ALIGNMENT = 16;

struct AttachedDataHeader {
  unsigned char tag[8];     // ATTACHED_DATA_TAG
  uint64_t payloadOffset;
  uint64_t payloadSize;
  uint32_t templateOffset;
  uint32_t versionOffset;
};
static_assert(sizeof(AttachedDataHeader) == 32, "the header's layout is part of every built executable");
