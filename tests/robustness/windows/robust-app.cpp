// The main program of the robustness suite's application. It says that it
// ran, so that a run whose child crashed can be told from one whose bootstrap
// did; "--sleep MS" keeps it running a while, so that starts overlap.
// "--check" first reads every file that files.crc beside it lists, as a
// program loads its libraries and data when it starts, and keeps them open
// (sharing reading, as programs do) while it runs: a file that cannot be
// opened or differs from the list is named, and the program ends with
// APP_SAW_DAMAGE instead. It stays small (plain buffers, no C++ library), as
// it is packed into every folder of the suite, a 1 MiB disk's among them.
#include <windows.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "app-marker.h"

namespace {

constexpr DWORD PATH_UNITS = 32768;
constexpr DWORD LIST_BYTES = 1 << 20;
constexpr DWORD PIECE_BYTES = 1 << 16;

unsigned char piece[PIECE_BYTES];
char list[LIST_BYTES];

void say(const char* text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

// The CRC-32 and length of what is left of file to read.
void readWhole(HANDLE file, unsigned long* crc, unsigned long long* size) {
  DWORD got = 0;
  *crc = crc32(0, nullptr, 0);
  *size = 0;
  while (ReadFile(file, piece, PIECE_BYTES, &got, nullptr) && got > 0) {
    *crc = crc32(*crc, piece, got);
    *size += got;
  }
}

// Says what is wrong with one listed file (name in UTF-8, relative to folder)
// and returns false; true when it is as listed. A file that opens stays open.
bool checkOne(const wchar_t* folder, const char* name, unsigned long crc, unsigned long long size) {
  static wchar_t path[PATH_UNITS];
  int at = std::swprintf(path, PATH_UNITS, L"%ls", folder);
  MultiByteToWideChar(CP_UTF8, 0, name, -1, path + at, static_cast<int>(PATH_UNITS - at));
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  char line[512];
  if (file == INVALID_HANDLE_VALUE) {
    std::snprintf(line, sizeof line, "app saw %s: it cannot be opened (error %lu)\n", name, GetLastError());
    return say(line), false;
  }
  unsigned long actualCrc = 0;
  unsigned long long actualSize = 0;
  readWhole(file, &actualCrc, &actualSize);
  if (actualSize == size && actualCrc == crc) return true;
  std::snprintf(line, sizeof line, "app saw %s: it has %llu of %llu bytes, CRC-32 %08lx of %08lx\n", name, actualSize,
                size, actualCrc, crc);
  return say(line), false;
}

// Checks every file of the list; true when all are as listed.
bool checkFiles() {
  static wchar_t folder[PATH_UNITS];
  DWORD length = GetModuleFileNameW(nullptr, folder, PATH_UNITS);
  while (length > 0 && folder[length - 1] != L'\\') --length;
  folder[length] = L'\0';
  static wchar_t listPath[PATH_UNITS];
  std::swprintf(listPath, PATH_UNITS, L"%lsfiles.crc", folder);
  HANDLE listFile = CreateFileW(listPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD got = 0;
  if (listFile == INVALID_HANDLE_VALUE || !ReadFile(listFile, list, LIST_BYTES - 1, &got, nullptr))
    return say("app saw no files.crc\n"), false;
  CloseHandle(listFile);
  list[got] = '\0';
  bool whole = true;
  for (char* line = list; *line != '\0';) {
    char* end = std::strchr(line, '\n');
    if (end == nullptr) return say("app saw a bad list\n"), false;
    *end = '\0';
    unsigned long crc = 0;
    unsigned long long size = 0;
    int nameAt = 0;
    if (std::sscanf(line, "%lx %llu %n", &crc, &size, &nameAt) != 2) return say("app saw a bad list\n"), false;
    whole = checkOne(folder, line + nameAt, crc, size) && whole;
    line = end + 1;
  }
  return whole;
}

}  // namespace

int main() {
  if (std::wcsstr(GetCommandLineW(), L"--check") != nullptr && !checkFiles()) return robustness::APP_SAW_DAMAGE;
  say(robustness::APP_RAN);
  const wchar_t* sleep = std::wcsstr(GetCommandLineW(), L"--sleep ");
  if (sleep != nullptr) Sleep(static_cast<DWORD>(std::wcstoul(sleep + 8, nullptr, 10)));
  return 0;
}
