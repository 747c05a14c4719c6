// Moves a record's content from the payload reader to a file, in pieces of
// CONTENT_CHUNK_BYTES (the last one shorter), or to nowhere.
#pragma once
#include <windows.h>
#include <stdint.h>

// Content moves from the reader in pieces of this size.
enum : unsigned { CONTENT_CHUNK_BYTES = 32768 };

// When set, called between pieces of content once this run has begun to
// write a file, written and skipped pieces alike, and between the pauses of
// a wait for a held file: it lets a window show the progress of a long first
// start and stay responsive. A run that writes nothing never calls it.
extern void (*betweenContentPieces)(void);

// Calls betweenContentPieces where it applies.
void noteContentProgress(void);

// Decodes and drops size bytes of content: the file is already current.
void skipFileContent(uint64_t size);

// Opens the file at path for reading and writing, created when missing and
// never cut, shared with nobody while it is held; *existed tells whether it
// was there already. INVALID_HANDLE_VALUE when it cannot be opened, with the
// reason in GetLastError.
HANDLE openForWriting(const wchar_t* path, bool* existed);

// Cuts a file that openForWriting found to nothing, before it is written
// anew. Returns 0, or the error code of the refusal.
uint32_t cutToNothing(HANDLE file);

// Writes size bytes of content into file, then hands it to closeWrittenFile
// (close-pool.h) to be closed. A failed write ends the run (status 2); the
// partly written file stays for the next run to redo.
void writeFileContent(HANDLE file, uint64_t size);

// Writes count bytes to file. Returns 0 when all of them were written,
// otherwise the error code to report.
uint32_t writeContentPiece(HANDLE file, const void* bytes, DWORD count);
