// For tests only: the child's command line as child.cpp builds it.
#pragma once
#include <stddef.h>

#include "diag/limits.h"

// The child's command line as buildChildCommandLine leaves it.
extern wchar_t childCommandLine[COMMAND_LINE_CAPACITY];

// Quotes arguments[0..count) into childCommandLine, so that the child splits
// it back into the same elements; a line that does not fit ends the run.
void buildChildCommandLine(wchar_t** arguments, int count);

// The same into any buffer of capacity code units (terminator included), so
// that a test can place the buffer itself.
void buildCommandLineInto(wchar_t* buffer, size_t capacity, wchar_t** arguments, int count);
