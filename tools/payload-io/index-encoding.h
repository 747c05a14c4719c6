// The index before each frame of a grouped payload (payload/format.h): its
// bytes made from the group's entries, before the frame it precedes is
// compressed, and sealed with the frame's size once the frame is written.
#pragma once
#include <cstdint>
#include <string>

namespace onefile {

// entries: the group's record headers as the frame holds them, then the end
// record when the frame holds it; at most INDEX_ENTRIES_MAX_BYTES.
// The index with its frame size left at 0 and its checksum unset: it keeps
// its length when sealed.
std::string encodeIndex(const std::string& entries);

// Fills in the frame's size and the checksum over the whole index.
void sealIndex(std::string* index, uint64_t frameSize);

// An index made and sealed at once, for a frame of known size.
std::string encodeIndexFrame(uint64_t frameSize, const std::string& entries);

}  // namespace onefile
