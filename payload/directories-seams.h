// For tests only: what directories.cpp remembers in one run.
#pragma once

#include "payload/directories.h"

// Directories known to exist in this run, the user's home directory first.
// The entries are copies (on the heap, but for the home directory's) that
// live until the process ends.
extern wchar_t* knownDirectories[KNOWN_DIRECTORIES_CAPACITY];
extern unsigned knownDirectoryCount;
