#include "diag/text.h"

#include <windows.h>

#include "diag/report.h"

namespace {
constexpr unsigned MAX_DIGITS = 20;  // of an unsigned 64-bit magnitude
}

// Written by hand rather than through the runtime's printf, whose support for
// 64-bit conversions differs between runtime versions.
void formatDecimal(char* text, size_t capacity, long long value, unsigned minimumDigits) {
  char digits[MAX_DIGITS];
  unsigned count = 0;
  unsigned long long magnitude = value < 0 ? 0ull - (unsigned long long)value : (unsigned long long)value;
  do {
    digits[count++] = (char)('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  size_t zeros = minimumDigits > count ? minimumDigits - count : 0;
  size_t length = (value < 0 ? 1 : 0) + zeros + count;
  if (length >= capacity) endRunOnFullBuffer();
  size_t at = 0;
  if (value < 0) text[at++] = '-';
  for (; zeros > 0; --zeros) text[at++] = '0';
  while (count > 0) text[at++] = digits[--count];
  text[at] = '\0';
}

// The ID is taken as the unsigned number it is, so that even an ID past 2^31
// gives digits only, which is all that {PID} accepts back.
void formatOwnProcessId(char (&text)[PROCESS_ID_TEXT_CAPACITY]) {
  formatDecimal(text, PROCESS_ID_TEXT_CAPACITY, (long long)GetCurrentProcessId(), 1);
}
