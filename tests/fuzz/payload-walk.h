// The walks the fuzz targets and their regression test share: read a payload
// to its end the way the packaging tool does, and let only payload damage
// pass as an expected ending.
#pragma once
#include <cstddef>
#include <cstdint>

namespace fuzz_walk {

// data: a payload file or an executable carrying one.
void walkPayload(const uint8_t* data, size_t size);
// data: a decoded record stream, compressed into one frame and walked.
void walkRecordStream(const uint8_t* data, size_t size);
// data: a payload file or an executable carrying one, or the frames alone:
// the indexes read by themselves (as info reads them) and checked against
// their frames.
void walkIndexes(const uint8_t* data, size_t size);

}  // namespace fuzz_walk
