#include "paths/random-text.h"

#include <windows.h>

namespace {

constexpr wchar_t RANDOM_ALPHABET[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
constexpr unsigned BITS_PER_CHARACTER = 6;
constexpr unsigned CHARACTER_MASK = 0x3F;

uint32_t advanceXorshift32(uint32_t state) {
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}

uint32_t halvesOf(uint64_t value) { return (uint32_t)(value >> 32) ^ (uint32_t)value; }

}  // namespace

void generateRandomBytes(uint32_t seed, unsigned char (&bytes)[RANDOM_BYTE_COUNT]) {
  uint32_t state = seed == 0 ? 1 : seed;
  for (unsigned i = 0; i < RANDOM_BYTE_COUNT; ++i) {
    state = advanceXorshift32(state);
    bytes[i] = (unsigned char)state;
  }
}

void encodeRandomBytes(const unsigned char (&bytes)[RANDOM_BYTE_COUNT],
                       wchar_t (&text)[RANDOM_TEXT_LENGTH + 1]) {
  uint32_t pending = 0;  // bits read but not yet written, at the low end
  unsigned pendingCount = 0;
  unsigned length = 0;
  for (unsigned char byte : bytes) {
    pending = (pending << 8) | byte;
    pendingCount += 8;
    while (pendingCount >= BITS_PER_CHARACTER) {
      pendingCount -= BITS_PER_CHARACTER;
      text[length++] = RANDOM_ALPHABET[(pending >> pendingCount) & CHARACTER_MASK];
    }
    pending &= (1u << pendingCount) - 1;
  }
  // The last character carries the remaining bits at its high end.
  if (pendingCount > 0)
    text[length++] = RANDOM_ALPHABET[(pending << (BITS_PER_CHARACTER - pendingCount)) & CHARACTER_MASK];
  text[length] = L'\0';
}

// Not for secrets: the text only has to differ between runs, which the
// counter, the stack address (randomised per process) and the ID see to.
void drawRandomText(wchar_t (&text)[RANDOM_TEXT_LENGTH + 1]) {
  LARGE_INTEGER counter;
  counter.QuadPart = 0;  // the call cannot fail on any supported system; checked or not, 0 is a defined start
  QueryPerformanceCounter(&counter);
  uint32_t seed = halvesOf((uint64_t)counter.QuadPart) ^ halvesOf((uint64_t)(uintptr_t)&counter) ^
                  GetCurrentProcessId();
  unsigned char bytes[RANDOM_BYTE_COUNT];
  generateRandomBytes(seed, bytes);
  encodeRandomBytes(bytes, text);
}
