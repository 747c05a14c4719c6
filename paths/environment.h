// Environment variables shared with the child, and the target directory.
#pragma once
#include <windows.h>
#include <stddef.h>

#include "diag/limits.h"

// The directory the payload unpacks into: the expanded path template, made
// absolute by resolveTargetPath.
extern wchar_t targetDirectory[PATH_CAPACITY];

// Returns a heap copy of the variable's value, or null when it is missing,
// empty or longer than the system allows. The caller owns the copy.
wchar_t* getEnvironmentValueW(const wchar_t* name);
wchar_t* getEnvironmentValue(const char* name);

// Sets the variable; a null value removes it.
BOOL setEnvironmentValue(const char* name, const wchar_t* value);

// Appends to the zero-terminated text in buffer; a text that does not fit
// with its terminator ends the run. widenNarrowText turns each byte into
// exactly one wide character through the runtime's multibyte conversion.
void widenNarrowText(wchar_t* buffer, size_t capacity, const char* text);
void appendWideBounded(wchar_t* buffer, size_t capacity, const wchar_t* text);

// Drops the run values inherited from another bootstrap and records this
// process's ID in TRAVIK_ONEFILE_PARENT.
void resetRunEnvironment(void);

// Replaces targetDirectory by its full path.
void resolveTargetPath(void);
