#include "diag/system-calls.h"
#include "payload/file-content.h"

#include <string.h>

#include "diag/release.h"
#include "diag/report.h"
#include "payload/close-pool.h"
#include "payload/reader.h"

void (*betweenContentPieces)(void) = nullptr;

namespace {

unsigned char contentChunk[CONTENT_CHUNK_BYTES];
bool writingBegun = false;

// A write that the system calls successful but that took no byte at all
// carries no error code of its own; the file is then as broken as after a
// failed write, and is reported as a failure to write to the device.
constexpr uint32_t STALLED_WRITE_ERROR = ERROR_WRITE_FAULT;

// Nobody else may open a file while it is written: not another start of the
// same application, which would otherwise checksum it half-written, judge it
// different and cut it under this one; not a program, which would read it
// half-written. Whoever meets it then waits until it is whole.
constexpr DWORD WRITE_SHARE_MODE = 0;

DWORD nextPieceSize(uint64_t remaining) {
  return remaining < CONTENT_CHUNK_BYTES ? (DWORD)remaining : (DWORD)CONTENT_CHUNK_BYTES;
}

// The partly written file stays: its checksum differs, so the next run
// writes it again.
[[noreturn]] void endOnWriteFailure(HANDLE file, uint32_t errorCode) {
  closeQuietly(file);
  endOnSystemError(MESSAGE_UNPACK_FAILED, errorCode);
}

}  // namespace

void noteContentProgress(void) {
  if (writingBegun && betweenContentPieces != nullptr) betweenContentPieces();
}

// Current content is only decoded: taken where the reader decoded it and
// dropped, without a copy.
void skipFileContent(uint64_t size) {
  while (size > 0) {
    size_t taken = 0;
    payloadTake(size, &taken);
    size -= taken;
    noteContentProgress();
  }
}

// A write that took only part of the piece goes on with the rest, so that the
// call that then fails names the cause (a disk that filled up gives its own
// code, not a made-up one); a write that takes nothing ends it.
uint32_t writeContentPiece(HANDLE file, const void* bytes, DWORD count) {
  const unsigned char* next = (const unsigned char*)bytes;
  while (count > 0) {
    DWORD written = 0;
    SetLastError(ERROR_SUCCESS);  // so that a code found after a stalled write is the write's own
    if (!systemCalls.writeFile(file, next, count, &written, nullptr)) return GetLastError();
    if (written == 0 || written > count) {
      uint32_t errorCode = GetLastError();
      return errorCode != ERROR_SUCCESS ? errorCode : STALLED_WRITE_ERROR;
    }
    next += written;
    count -= written;
  }
  return 0;
}

// Opened without being cut: another start may have finished the file since
// this one checked it, and the caller judges it again through this handle,
// which nobody else can write through meanwhile. The same open serves a file
// in a folder that this run made, which another start may have filled too.
HANDLE openForWriting(const wchar_t* path, bool* existed) {
  HANDLE file = systemCalls.createFile(path, GENERIC_READ | GENERIC_WRITE, WRITE_SHARE_MODE, nullptr, OPEN_ALWAYS, 0,
                                       nullptr);
  *existed = file != INVALID_HANDLE_VALUE && GetLastError() == ERROR_ALREADY_EXISTS;
  return file;
}

// The handle's position is still at the start: nothing was read or written
// through it. A mapping of the file that a running program holds makes the
// system refuse the cut (ERROR_USER_MAPPED_FILE).
uint32_t cutToNothing(HANDLE file) { return systemCalls.setEndOfFile(file) ? 0 : GetLastError(); }

void writeFileContent(HANDLE file, uint64_t size) {
  writingBegun = true;
  // Each piece is written straight from the reader's block where it lies
  // whole in it; only a piece that the block's end cuts is gathered in the
  // chunk buffer. The writes stay whole 32 KiB pieces at 32 KiB offsets, which
  // the file system handles best: cut pieces cost more system time than the
  // copy saves.
  while (size > 0) {
    DWORD count = nextPieceSize(size);
    size_t taken = 0;
    const unsigned char* piece = payloadTake(count, &taken);
    if (taken < count) {
      memcpy(contentChunk, piece, taken);
      payloadRead(contentChunk + taken, count - taken);
      piece = contentChunk;
    }
    uint32_t errorCode = writeContentPiece(file, piece, count);
    if (errorCode != 0) endOnWriteFailure(file, errorCode);
    size -= count;
    noteContentProgress();
  }
  closeWrittenFile(file);  // every byte has been accepted by WriteFile
}
