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
//   header | path template | version text | application name | padding | payload
//
// The three texts are UTF-16LE with a terminating zero unit. The payload is
// the "ZBX" array, aligned to PAYLOAD_ALIGNMENT; its length is the header's
// payloadSize, fixed when the executable is built.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <string.h>

inline constexpr char ATTACHED_SECTION_NAME[8] = {'.', 'o', 'n', 'e', 'f', 'i', 'l', 'e'};
inline constexpr unsigned char ATTACHED_DATA_TAG[8] = {'O', 'N', 'E', 'F', 'I', 'L', 'E', '2'};
inline constexpr unsigned ATTACHED_PAYLOAD_ALIGNMENT = 16;

struct AttachedDataHeader {
  unsigned char tag[8];     // ATTACHED_DATA_TAG
  uint64_t payloadOffset;
  uint64_t payloadSize;
  uint32_t templateOffset;
  uint32_t versionOffset;
  uint32_t nameOffset;      // the name that the bootstrap's own windows show
  uint32_t flags;           // ATTACHED_FLAG_* chosen when the executable was built
};
inline constexpr unsigned ATTACHED_HEADER_SIZE = 40;
// A first start that unpacks for a while shows a window with its progress.
inline constexpr uint32_t ATTACHED_FLAG_PROGRESS_WINDOW = 1;
// Once the application runs, the folders of its older versions beside the
// target folder are removed.
inline constexpr uint32_t ATTACHED_FLAG_REMOVE_OLD_VERSIONS = 2;
// Bits 2 to 6: how many threads close the files that a start writes, 0 for
// none (every file closed where it was written, as executables built before
// the choice existed hold). A larger count than the most is read as the most.
inline constexpr unsigned ATTACHED_CLOSE_THREADS_SHIFT = 2;
inline constexpr uint32_t ATTACHED_CLOSE_THREADS_MASK = 0x1f << ATTACHED_CLOSE_THREADS_SHIFT;
inline constexpr unsigned ATTACHED_MAX_CLOSE_THREADS = 16;
// An update's first start takes the files that have not changed from the
// newest other version's folder beside its own, as hard links, instead of
// writing them. Executables built before the choice existed do not.
inline constexpr uint32_t ATTACHED_FLAG_LINKS_BETWEEN_VERSIONS = 1u << 7;
static_assert((ATTACHED_FLAG_LINKS_BETWEEN_VERSIONS & ATTACHED_CLOSE_THREADS_MASK) == 0, "the flags' bits are apart");

inline unsigned attachedCloseThreads(uint32_t flags) {
  unsigned threads = (flags & ATTACHED_CLOSE_THREADS_MASK) >> ATTACHED_CLOSE_THREADS_SHIFT;
  return threads < ATTACHED_MAX_CLOSE_THREADS ? threads : ATTACHED_MAX_CLOSE_THREADS;
}

// The flags' bits for a count of 0 to ATTACHED_MAX_CLOSE_THREADS.
inline constexpr uint32_t attachedCloseThreadsFlags(unsigned threads) {
  return (uint32_t)threads << ATTACHED_CLOSE_THREADS_SHIFT;
}
static_assert(sizeof(AttachedDataHeader) == ATTACHED_HEADER_SIZE, "the header's layout is part of every built executable");
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the header is read in place as little-endian fields");

// Where each field lies in the header's bytes, for the encoder below.
inline constexpr unsigned ATTACHED_PAYLOAD_OFFSET_AT = offsetof(AttachedDataHeader, payloadOffset);
inline constexpr unsigned ATTACHED_PAYLOAD_SIZE_AT = offsetof(AttachedDataHeader, payloadSize);
inline constexpr unsigned ATTACHED_TEMPLATE_OFFSET_AT = offsetof(AttachedDataHeader, templateOffset);
inline constexpr unsigned ATTACHED_VERSION_OFFSET_AT = offsetof(AttachedDataHeader, versionOffset);
inline constexpr unsigned ATTACHED_NAME_OFFSET_AT = offsetof(AttachedDataHeader, nameOffset);
inline constexpr unsigned ATTACHED_FLAGS_AT = offsetof(AttachedDataHeader, flags);

inline void putAttachedField(unsigned char* at, uint64_t value, unsigned width) {
  for (unsigned i = 0; i < width; ++i) at[i] = (unsigned char)(value >> (8 * i));
}

// Writes the header's ATTACHED_HEADER_SIZE bytes, the tag included.
inline void encodeAttachedDataHeader(const AttachedDataHeader& header, unsigned char* out) {
  for (unsigned i = 0; i < sizeof header.tag; ++i) out[i] = ATTACHED_DATA_TAG[i];
  putAttachedField(out + ATTACHED_PAYLOAD_OFFSET_AT, header.payloadOffset, 8);
  putAttachedField(out + ATTACHED_PAYLOAD_SIZE_AT, header.payloadSize, 8);
  putAttachedField(out + ATTACHED_TEMPLATE_OFFSET_AT, header.templateOffset, 4);
  putAttachedField(out + ATTACHED_VERSION_OFFSET_AT, header.versionOffset, 4);
  putAttachedField(out + ATTACHED_NAME_OFFSET_AT, header.nameOffset, 4);
  putAttachedField(out + ATTACHED_FLAGS_AT, header.flags, 4);
}

// The header at the start of a section, read in place: false when the
// section is too short for it or does not start with the tag. The fields are
// not checked. Both sides run on little-endian x86-64, where the struct has
// exactly the fields' layout; section must be aligned for the struct (the
// bootstrap's own image is).
inline bool findAttachedDataHeader(const unsigned char* section, uint64_t size, const AttachedDataHeader** header) {
  if (size < sizeof(AttachedDataHeader)) return false;
  const AttachedDataHeader* found = (const AttachedDataHeader*)section;
  if (memcmp(found->tag, ATTACHED_DATA_TAG, sizeof found->tag) != 0) return false;
  *header = found;
  return true;
}
