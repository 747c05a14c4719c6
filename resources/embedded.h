// What a built executable carries for the bootstrap: the payload, the
// texts that the path template expands with, and the application's name. They lie in the executable's
// attached-data section (resources/attached.h), read-only and fixed when it
// was built; locateAttachedData points these at them.
#pragma once
#include <stdint.h>

extern const unsigned char* onefilePayload;
extern uint64_t onefilePayloadSize;
extern const wchar_t* onefilePathTemplate;
extern const wchar_t* onefileVersionText;
extern const wchar_t* onefileApplicationName;
extern bool onefileShowsProgress;  // built with a progress window for long first starts
extern bool onefileRemovesOldVersions;  // built to remove older versions' folders
extern unsigned onefileCloseThreads;    // threads that close written files; 0 for none
extern bool onefileLinksBetweenVersions;  // built to take unchanged files from another version's folder

// Finds the attached-data section in the process's own image (never by
// opening the file) and sets the values above. False when the image
// carries no such section or a malformed one; the values are then unchanged.
bool locateAttachedData(void);

// The same over one section's bytes in memory, for tests.
bool useAttachedSection(const unsigned char* section, uint64_t size);
