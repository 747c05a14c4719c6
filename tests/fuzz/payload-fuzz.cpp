// libFuzzer target: arbitrary bytes as a payload file or an executable
// carrying one, read as `onefile-pack list` and `verify` read it. Damage must
// surface as PayloadDamage; anything else (a crash, a sanitizer report, an
// exception of another kind, a huge allocation) is a fault.
#include <cstdint>
#include <optional>

#include "payload-walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_walk::walkPayload(data, size);
  return 0;
}
