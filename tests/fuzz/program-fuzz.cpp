// libFuzzer target: arbitrary bytes as an application's main program, read
// for the traits a packed executable takes over. Only a refusal or a result
// with warnings may come out; anything else (a crash, a sanitizer report, an
// exception of another kind, a huge allocation) is a fault.
#include <cstdint>

#include "program-walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_walk::walkProgram(data, size);
  return 0;
}
