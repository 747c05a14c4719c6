// The directory the payload unpacks into.
#pragma once
#include <wchar.h>

#include "diag/limits.h"

// The expanded path template, made absolute by resolveTargetPath.
extern wchar_t targetDirectory[PATH_CAPACITY];

// Replaces targetDirectory by its full path.
void resolveTargetPath(void);
