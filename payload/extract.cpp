#include "payload/extract.h"

// Placeholder until extraction lands: nothing is unpacked.
wchar_t firstFilePath[PATH_CAPACITY];

void unpackPayload(void) {}
uint32_t existingFileChecksum(const wchar_t*) { return 0; }
void createDirectories(const wchar_t*) {}
bool ensureDirectory(const wchar_t*) { return false; }
