// The checksum of a file already in the target directory (file-checksum.cpp).
#pragma once
#include <stdint.h>

#include "payload/format.h"

// The checksum an existing file's record would store (recordChecksum of its
// CRC-32); NO_USABLE_FILE for a missing, unopenable, unmappable or empty file.
uint32_t existingFileChecksum(const wchar_t* path);
