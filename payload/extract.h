// Unpacks the payload's files into the target directory, keeping the ones
// that are already current.
#pragma once
#include <stdint.h>

#include "diag/limits.h"

// Full target path of the payload's first file: the program to start.
extern wchar_t firstFilePath[PATH_CAPACITY];

void unpackPayload(void);

// CRC-32 of an existing file, 1 where that is 0; 0 when there is no usable file.
uint32_t existingFileChecksum(const wchar_t* path);

// Creates the directory holding the file at path and any missing above it.
void createDirectories(const wchar_t* path);

// True when the directory exists afterwards.
bool ensureDirectory(const wchar_t* path);
