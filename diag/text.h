// The bootstrap's text helpers: the only way text gets into its fixed
// buffers, and its decimal numbers. Every caller uses these, reports too,
// which is why they sit with them at the bottom.
//   bounded-text.cpp   appends that check the room left
//   decimal-text.cpp   decimal text of numbers
#pragma once
#include <windows.h>
#include <stddef.h>

#include "diag/limits.h"

// Appends to the zero-terminated text in buffer; a text that does not fit
// with its terminator ends the run. widenNarrowText turns each byte into
// exactly one wide character through the runtime's multibyte conversion.
void appendWideBounded(wchar_t* buffer, size_t capacity, const wchar_t* text);
void widenNarrowText(wchar_t* buffer, size_t capacity, const char* text);

// A text being written one unit at a time, each through a check of the room
// left, so that nothing is ever written past the buffer.
struct BoundedText {
  wchar_t* buffer;
  size_t capacity;  // terminator included
  size_t length;    // the write position
};

// Appends unit and a terminator; false, with nothing written, when there is
// no room for both. The caller decides how a full text ends.
bool appendUnitBounded(BoundedText* text, wchar_t unit);

// A sign, the 20 digits of any 64-bit magnitude and the terminator.
enum : unsigned { DECIMAL_TEXT_CAPACITY = 24 };

// Writes value in decimal into text, padded with leading zeros to at least
// minimumDigits digits, as printf's "%0*lld" does. A text that does not fit
// ends the run.
void formatDecimal(char* text, size_t capacity, long long value, unsigned minimumDigits);

// The bootstrap's own process ID in decimal.
void formatOwnProcessId(char (&text)[PROCESS_ID_TEXT_CAPACITY]);

// A buffer size as the system calls take it.
inline DWORD systemBufferLength(size_t room) { return room > MAXDWORD ? MAXDWORD : (DWORD)room; }
