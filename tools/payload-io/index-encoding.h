// The index before each frame of a grouped payload (payload/format.h): its
// bytes made from the group's entries and the size of the frame it precedes.
#pragma once
#include <cstdint>
#include <string>

namespace onefile {

// entries: the group's record headers as the frame holds them, then the end
// record when the frame holds it; at most INDEX_ENTRIES_MAX_BYTES.
std::string encodeIndexFrame(uint64_t frameSize, const std::string& entries);

}  // namespace onefile
