// Unpacks the payload's files into the target directory, keeping the ones
// that are already current (extract.cpp).
#pragma once

#include "diag/limits.h"
#include "payload/format.h"

// A record's name is joined to the target directory to make its path.
static_assert(PATH_CAPACITY > RECORD_NAME_CAPACITY);

// Full target path of the payload's first file: the program to start.
extern wchar_t firstFilePath[PATH_CAPACITY];

// Walks the payload's records up to the end record: current files are only
// decoded, every other one is written. Failures end the run.
void unpackPayload(void);
