// The checksum of a file already in the target directory (file-checksum.cpp).
#pragma once
#include <windows.h>
#include <stdint.h>

#include "payload/format.h"
#include "payload/record-cursor.h"

struct HeldFileWait;

// The checksum an existing file's record would store (recordChecksum of its
// CRC-32); NO_USABLE_FILE for a missing, unopenable, unmappable or empty file.
uint32_t existingFileChecksum(const wchar_t* path);

// What the check of a file already in the target directory found.
struct ExistingFile {
  uint32_t checksum;  // as existingFileChecksum gives it
  bool isEmpty;       // an empty file is there, which no mapping can show
};

// Whether the file found holds the record's content: the one rule by which
// a file already in place is kept, and a file beside it taken. A plain
// comparison, which payloads already built rely on: a stored 0 would match a
// missing file, so the packer never stores 0 (see recordChecksum). An empty
// file, which no mapping can checksum, is what an empty record holds.
bool holdsRecordContent(const RecordHeader& record, const ExistingFile& found);

// The same check through a file handle opened with read access; the handle
// stays open. The file's own position is left where it was.
ExistingFile checkOpenFile(HANDLE file);

// existingFileChecksum's check, but a file that another process holds is
// waited for (waitForHeldFile) and then checked; NO_USABLE_FILE once the wait
// gives up. A held file that the wait saw empty, where an empty file is
// current, counts as found empty. Notes in wait whether the file could be
// read.
ExistingFile checkWhenFree(const wchar_t* path, HeldFileWait* wait);
