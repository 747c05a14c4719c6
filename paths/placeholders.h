// The values of the path template's placeholders. Each writes its value as a
// zero-terminated text at the write position `at`, whose room (terminator
// included) is what is left of the output; `at` holds an empty text on entry.
// False means the value cannot be had; a value that does not fit ends the run.
#pragma once
#include <windows.h>
#include <stddef.h>

using PlaceholderValue = bool (*)(wchar_t* at, size_t room);

// Folders of the system ({TEMP}, {HOME}, {CACHE_DIR}).
bool expandTempFolder(wchar_t* at, size_t room);
bool expandHomeFolder(wchar_t* at, size_t room);
bool expandCacheFolder(wchar_t* at, size_t room);

// The running program ({PROGRAM}, {PROGRAM_BASE}, {PROGRAM_DIR}, {PID},
// {VERSION} and its two aliases).
bool expandProgramPath(wchar_t* at, size_t room);
bool expandProgramBase(wchar_t* at, size_t room);
bool expandProgramDirectory(wchar_t* at, size_t room);
bool expandProcessId(wchar_t* at, size_t room);
bool expandVersion(wchar_t* at, size_t room);

// Values fresh for each run, stored for the rest of it ({RANDOM}, {TIME},
// {TIME_US}).
bool expandRandom(wchar_t* at, size_t room);
bool expandTime(wchar_t* at, size_t room);
bool expandTimeMicroseconds(wchar_t* at, size_t room);

// Removes the backslashes that end output[0..length) and returns the new
// length. A folder then never ends in a separator, whatever the system gave.
size_t stripTrailingBackslashes(wchar_t* output, size_t length);
