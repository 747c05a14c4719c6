// Decode throughput of the bootstrap's reader: loads a payload file into
// memory, then reads its records the way extraction does for current files
// (each header through the record cursor, content skipped) and times it.
//
//   reader-bench PAYLOAD ROUNDS
//
// Prints the decoded bytes, then each round's seconds on a line of its own.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <stdint.h>

#include "payload/file-content.h"
#include "payload/reader.h"

namespace {

RecordHeader record;

unsigned char* loadFile(const wchar_t* path, uint64_t* size) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  LARGE_INTEGER length;
  GetFileSizeEx(file, &length);
  unsigned char* bytes = (unsigned char*)VirtualAlloc(nullptr, (SIZE_T)length.QuadPart, MEM_COMMIT, PAGE_READWRITE);
  uint64_t done = 0;
  DWORD got = 0;
  while (bytes != nullptr && done < (uint64_t)length.QuadPart &&
         ReadFile(file, bytes + done, (DWORD)((uint64_t)length.QuadPart - done > (1u << 30) ? (1u << 30)
                                                                                          : length.QuadPart - done),
                  &got, nullptr) &&
         got > 0)
    done += got;
  CloseHandle(file);
  *size = done;
  return bytes;
}

// One pass over every record; returns the decoded bytes.
uint64_t readAllRecords(void) {
  uint64_t decoded = 0;
  for (;;) {
    bool isFile = payloadReadRecordHeader(&record);
    decoded += (record.nameLength + 1) * RECORD_NAME_UNIT_BYTES;
    if (!isFile) return decoded;
    uint64_t size = record.size;
    decoded += RECORD_SIZE_BYTES + RECORD_CHECKSUM_BYTES + size;
    skipFileContent(size);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    fputs("usage: reader-bench PAYLOAD ROUNDS\n", stderr);
    return 2;
  }
  uint64_t size = 0;
  unsigned char* payload = loadFile(argv[1], &size);
  if (payload == nullptr) {
    fputs("reader-bench: cannot load the payload\n", stderr);
    return 1;
  }
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  for (int round = 0; round < _wtoi(argv[2]); ++round) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    openPayloadBytes(payload, size);
    uint64_t decoded = readAllRecords();
    closePayload();
    QueryPerformanceCounter(&end);
    if (round == 0) printf("%llu\n", (unsigned long long)decoded);
    printf("%.6f\n", (double)(end.QuadPart - start.QuadPart) / (double)frequency.QuadPart);
  }
  return 0;
}
