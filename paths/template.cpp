// The scan of a path template: literal text is copied, each {NAME} is
// replaced by its value.
#include "paths/template.h"

#include <wchar.h>

#include "diag/limits.h"
#include "diag/report.h"
#include "diag/text.h"
#include "paths/placeholder-names.h"
#include "paths/placeholders.h"

namespace {

// How each placeholder of placeholder-names.h gets its value, in the order
// of its ids (which the assertion below holds the table to).
struct Placeholder {
  PlaceholderId id;
  PlaceholderValue expand;
  bool stripsBackslashes;  // folders whose trailing separators are dropped
};

constexpr Placeholder PLACEHOLDERS[] = {
    {PLACEHOLDER_TEMP, expandTempFolder, true},
    {PLACEHOLDER_PROGRAM, expandProgramPath, false},
    {PLACEHOLDER_PROGRAM_BASE, expandProgramBase, false},
    {PLACEHOLDER_PROGRAM_DIR, expandProgramDirectory, false},
    {PLACEHOLDER_PID, expandProcessId, false},
    {PLACEHOLDER_HOME, expandHomeFolder, true},
    {PLACEHOLDER_CACHE_DIR, expandCacheFolder, true},
    {PLACEHOLDER_VERSION, expandVersion, false},
    {PLACEHOLDER_FILE_VERSION, expandVersion, false},
    {PLACEHOLDER_PRODUCT_VERSION, expandVersion, false},
    {PLACEHOLDER_RANDOM, expandRandom, false},
    {PLACEHOLDER_TIME_US, expandTimeMicroseconds, false},
    {PLACEHOLDER_TIME, expandTime, false},
};
static_assert(placeholderTableInIdOrder(PLACEHOLDERS));

// One scan's state. The name buffer lives with the scan because the
// {PROGRAM_BASE} and {PROGRAM_DIR} values start a scan of their own.
struct TemplateScan {
  BoundedText output;
  bool nameOpen;
  bool nameTooLong;
  size_t nameLength;
  wchar_t name[TEMPLATE_NAME_CAPACITY];
};

void openName(TemplateScan* scan) {
  scan->nameOpen = true;
  scan->nameTooLong = false;
  scan->nameLength = 0;
  scan->name[0] = L'\0';
}

// A name too long for its buffer is no known name: it is collected no
// further and rejected like any unknown name when its "}" comes, so nothing
// is written past the buffer and no cut-off name can match by accident.
void addToName(TemplateScan* scan, wchar_t character) {
  if (scan->nameLength + 1 >= TEMPLATE_NAME_CAPACITY) {
    scan->nameTooLong = true;
    return;
  }
  scan->name[scan->nameLength++] = character;
  scan->name[scan->nameLength] = L'\0';
}

bool expandName(TemplateScan* scan) {
  scan->nameOpen = false;
  PlaceholderId id = scan->nameTooLong ? PLACEHOLDER_COUNT : findPlaceholderId(scan->name, scan->nameLength);
  if (id == PLACEHOLDER_COUNT) return false;
  const Placeholder* placeholder = &PLACEHOLDERS[id];
  BoundedText* output = &scan->output;
  wchar_t* at = output->buffer + output->length;
  if (!placeholder->expand(at, output->capacity - output->length)) return false;
  output->length += wcslen(at);
  if (placeholder->stripsBackslashes) output->length = stripTrailingBackslashes(output->buffer, output->length);
  return true;
}

}  // namespace

size_t stripTrailingBackslashes(wchar_t* output, size_t length) {
  while (length > 0 && output[length - 1] == L'\\') output[--length] = L'\0';
  return length;
}

// A "}" outside a placeholder is literal text like any other character: it
// is a valid file-name character, and there is no escape that could mean it
// otherwise. An unterminated name at the end is dropped.
bool expandTemplatePath(wchar_t* output, const wchar_t* templateText, size_t capacity) {
  if (capacity == 0) endRunOnFullBuffer();  // not even the empty text fits
  TemplateScan scan;
  scan.output = {output, capacity, 0};
  scan.nameOpen = false;
  output[0] = L'\0';
  for (const wchar_t* next = templateText; *next != L'\0'; ++next) {
    if (*next == L'{') {
      openName(&scan);  // a name already open is thrown away
    } else if (*next == L'}' && scan.nameOpen) {
      if (!expandName(&scan)) return false;
    } else if (scan.nameOpen) {
      addToName(&scan, *next);
    } else if (!appendUnitBounded(&scan.output, *next)) {
      return false;
    }
  }
  return true;
}
