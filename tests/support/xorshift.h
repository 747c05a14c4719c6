// The one pseudo-random sequence of the test data, on both sides: xorshift32,
// so that the same seed gives the same bytes, names and mutations on every
// machine, in the host tests as in the Windows tests.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace test_data {

// Advances state (never 0) and returns its new value.
inline uint32_t nextRandom(uint32_t* state) {
  *state ^= *state << 13;
  *state ^= *state >> 17;
  *state ^= *state << 5;
  return *state;
}

// size bytes that do not compress, the same for the same seed.
inline std::string randomBytes(size_t size, uint32_t seed) {
  uint32_t state = 0x9E3779B9u ^ seed;
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(nextRandom(&state));
  return bytes;
}

}  // namespace test_data
