// The one pseudo-random sequence of the test data: xorshift32, so that the
// same seed gives the same bytes, names and mutations on every machine.
#pragma once
#include <cstdint>

namespace host_test {

// Advances state (never 0) and returns its new value.
inline uint32_t nextRandom(uint32_t* state) {
  *state ^= *state << 13;
  *state ^= *state >> 17;
  *state ^= *state << 5;
  return *state;
}

}  // namespace host_test
