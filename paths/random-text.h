// The random text of {RANDOM}: eight bytes from a xorshift32 generator,
// written in base64url without padding.
#pragma once
#include <stdint.h>

enum : unsigned {
  RANDOM_BYTE_COUNT = 8,
  RANDOM_TEXT_LENGTH = 11,  // 64 bits in 6-bit characters
};

// The low byte of the state after each of eight xorshift32 steps, in order.
// A zero seed, from which the generator would never move, counts as 1.
void generateRandomBytes(uint32_t seed, unsigned char (&bytes)[RANDOM_BYTE_COUNT]);

// The bytes in base64url (RFC 4648, section 5), standard bit order, no "=":
// 11 characters and a terminator.
void encodeRandomBytes(const unsigned char (&bytes)[RANDOM_BYTE_COUNT],
                       wchar_t (&text)[RANDOM_TEXT_LENGTH + 1]);

// A new random text, seeded from the performance counter, the stack address
// the counter was read into and the process ID.
void drawRandomText(wchar_t (&text)[RANDOM_TEXT_LENGTH + 1]);
