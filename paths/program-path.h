// The running program's path and folder (program-path.cpp).
#pragma once
#include <stddef.h>

// Writes the running program's full path into at (room units, terminator
// included). False, with an empty text, when the system gives none; a path
// the system had to cut short ends the run, so no other file is ever named.
bool readProgramPath(wchar_t* at, size_t room);

// Cuts path at its last backslash, leaving the folder without a trailing
// separator (a bare drive such as "C:" for a file in a drive's root).
void cutToFolder(wchar_t* path);
