// Moves a record's content from the payload reader to a file, in pieces of
// CONTENT_CHUNK_BYTES (the last one shorter), or to nowhere.
#pragma once
#include <windows.h>
#include <stdint.h>

// Content moves from the reader in pieces of this size.
enum : unsigned { CONTENT_CHUNK_BYTES = 32768 };

// Decodes and drops size bytes of content: the file is already current.
void skipFileContent(uint64_t size);

// Creates or truncates the file at path and writes size bytes of content
// into it. A file that cannot be opened or written ends the run (status 2).
void writeFileContent(const wchar_t* path, uint64_t size);

// Writes count bytes to file. Returns 0 when all of them were written,
// otherwise the error code to report.
uint32_t writeContentPiece(HANDLE file, const void* bytes, DWORD count);
