// libFuzzer target: arbitrary bytes as a payload's frames, or as a payload
// file or executable, whose indexes are read by themselves and checked
// against their frames (payload/frame-index.h, payload-io/index-check.h).
// Damage must surface as PayloadDamage; anything else is a fault.
#include <cstdint>

#include "payload-walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_walk::walkIndexes(data, size);
  return 0;
}
