// Unpacks the payload's files into the target directory, keeping the ones
// that are already current.
#pragma once
#include <stdint.h>

#include "diag/limits.h"

enum : unsigned {
  KNOWN_DIRECTORIES_CAPACITY = 1024,  // directories remembered as existing in one run
  CONTENT_CHUNK_BYTES = 32768,        // content moves from the reader in pieces of this size
};

// Full target path of the payload's first file: the program to start.
extern wchar_t firstFilePath[PATH_CAPACITY];

// Directories known to exist in this run, the user's home directory first.
// The entries are copies (on the heap, but for the home directory's) that
// live until the process ends.
extern wchar_t* knownDirectories[KNOWN_DIRECTORIES_CAPACITY];
extern unsigned knownDirectoryCount;

// Walks the payload's records up to the end record: current files are only
// decoded, every other one is written. Failures end the run.
void unpackPayload(void);

// What existingFileChecksum gives for a missing, unopenable, unmappable or
// empty file. A file whose CRC-32 is this value is counted as 1 instead.
inline constexpr uint32_t NO_USABLE_FILE = 0;

// CRC-32 of an existing file, 1 where that is 0; NO_USABLE_FILE when there is none.
uint32_t existingFileChecksum(const wchar_t* path);

// Creates the directory holding the file at path and any missing above it.
void createDirectories(const wchar_t* path);

// True when the directory exists afterwards (or counts as existing).
bool ensureDirectory(const wchar_t* path);
