// libFuzzer target: arbitrary bytes as the decoded record stream, compressed
// into a sound frame first, so that the record parser itself meets every
// kind of name, size and end, not only the decoder's rejections.
#include <cstdint>

#include "payload-walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_walk::walkRecordStream(data, size);
  return 0;
}
