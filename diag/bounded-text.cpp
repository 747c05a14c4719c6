// Appends that check the room left before they write: the only way text gets
// into the bootstrap's fixed buffers.
#include <stdlib.h>
#include <wchar.h>

#include "diag/report.h"
#include "diag/text.h"

namespace {

// Length of the text in buffer, or capacity when no terminator lies within
// it: a buffer without an end cannot be appended to.
size_t boundedLength(const wchar_t* buffer, size_t capacity) {
  size_t length = 0;
  while (length < capacity && buffer[length] != L'\0') ++length;
  return length;
}

}  // namespace

bool appendUnitBounded(BoundedText* text, wchar_t unit) {
  if (text->capacity - text->length < 2) return false;  // the unit and the terminator
  text->buffer[text->length++] = unit;
  text->buffer[text->length] = L'\0';
  return true;
}

void appendWideBounded(wchar_t* buffer, size_t capacity, const wchar_t* text) {
  size_t used = boundedLength(buffer, capacity);
  size_t length = wcslen(text);
  if (used == capacity || length >= capacity - used) endRunOnFullBuffer();
  wmemcpy(buffer + used, text, length + 1);
}

// One byte at a time, so that every byte is checked to become exactly one
// wide character: a locale that joined or split bytes would change a
// variable name or a number behind the bootstrap's back.
void widenNarrowText(wchar_t* buffer, size_t capacity, const char* text) {
  for (; *text != '\0'; ++text) {
    const char single[2] = {*text, '\0'};
    wchar_t wide[2] = {L'\0', L'\0'};
    if (mbstowcs(wide, single, 2) != 1) endRunOnFullBuffer();
    wide[1] = L'\0';
    appendWideBounded(buffer, capacity, wide);
  }
}
