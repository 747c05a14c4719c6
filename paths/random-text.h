// The random text of {RANDOM}: eight bytes from a xorshift32 generator,
// written in base64url without padding.
#pragma once
#include <stdint.h>

#include "paths/placeholder-names.h"

enum : unsigned { RANDOM_BYTE_COUNT = 8 };
static_assert(RANDOM_TEXT_LENGTH == (RANDOM_BYTE_COUNT * 8 + 5) / 6, "every bit in 6-bit characters, no padding");

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
