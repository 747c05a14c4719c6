// Finds a payload in a file: a payload file of its own, or a built
// executable that carries one in its attached-data section.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>

namespace onefile {

struct PayloadLocation {
  size_t offset = 0;         // of the magic
  size_t length = 0;         // magic, frames and trailer
  bool embedded = false;     // found inside a larger file
  bool trailerValid = false; // four zero bytes and the right length field
  uint32_t attachedFlags = 0; // an executable's choices (resources/attached.h); 0 for a payload file
};

// Where a payload's frames lie: everything between the magic and the trailer,
// counted from the magic's first byte.
struct FrameBounds {
  size_t offset = 0;
  size_t size = 0;
};

// The last bytes of a payload of length bytes are taken as its trailer even
// when they do not hold what they should, so that a damaged trailer is
// reported as such, not as a damaged frame. Too short for a trailer, all
// after the magic is frames; too short for the magic, there are none.
FrameBounds frameBounds(size_t length);

// A file that starts with the magic is taken as a payload file as it stands,
// whatever its trailer holds. In a built executable the payload is where its
// attached-data section says, whatever follows the image (a signature).
std::optional<PayloadLocation> locatePayload(const unsigned char* data, size_t size);

struct SectionBytes {
  size_t offset = 0;  // in the file
  size_t size = 0;    // what the section holds, as far as the file has it
};

// The attached-data section of a PE image, read from the file's headers.
std::optional<SectionBytes> attachedSection(const unsigned char* data, size_t size);

// Where a PE image's sections end, as its headers count them: the length of
// the whole file it came as (a signature after it aside). nullopt when the
// file holds no PE headers with their whole section table.
std::optional<uint64_t> peSectionsEnd(const unsigned char* data, size_t size);

}  // namespace onefile
