// Stands in for the signing program: copies -in to -out, but on the file
// whose -out name starts with STALL_ON it creates the file MARKER and waits
// to be ended, and on one whose name starts with FAIL_ON it writes part of
// -out and fails. With SIBLINGS set, each folder file's signer runs a while
// beside the next one, then fails when it holds any log but its own.
#include <windows.h>

#include <cstdio>
#include <cwctype>
#include <cwchar>

namespace {

// Long enough for the signing of the next file to start beside this one.
constexpr DWORD SIBLING_OVERLAP_MS = 1000;

// A file this process holds whose name ends in ".log", other than its own
// standard output; false when there is none.
bool holdsOthersLog(wchar_t* name, DWORD capacity) {
  HANDLE own = GetStdHandle(STD_OUTPUT_HANDLE);
  for (UINT_PTR value = 4; value < 0x4000; value += 4) {
    HANDLE handle = reinterpret_cast<HANDLE>(value);
    if (handle == own || GetFileType(handle) != FILE_TYPE_DISK) continue;
    DWORD length = GetFinalPathNameByHandleW(handle, name, capacity, 0);
    if (length > 4 && length < capacity && wcscmp(name + length - 4, L".log") == 0) return true;
  }
  return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const wchar_t *in = nullptr, *out = nullptr;
  for (int i = 1; i + 1 < argc; ++i) {
    if (wcscmp(argv[i], L"-in") == 0) in = argv[++i];
    else if (wcscmp(argv[i], L"-out") == 0) out = argv[++i];
  }
  if (in == nullptr || out == nullptr) return 2;
  const wchar_t* name = wcsrchr(out, L'\\') != nullptr ? wcsrchr(out, L'\\') + 1 : out;
  wchar_t stall[64] = L"", marker[MAX_PATH] = L"", failOn[64] = L"";
  if (GetEnvironmentVariableW(L"SIBLINGS", nullptr, 0) != 0 && wcsncmp(name, L"signed-", 7) == 0 && iswdigit(name[7])) {
    Sleep(SIBLING_OVERLAP_MS);
    wchar_t held[MAX_PATH];
    if (holdsOthersLog(held, MAX_PATH)) {
      printf("holds another's log: %ls\n", held);
      return 1;
    }
  }
  if (GetEnvironmentVariableW(L"FAIL_ON", failOn, 64) != 0 && wcsncmp(name, failOn, wcslen(failOn)) == 0) {
    CloseHandle(CreateFileW(out, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return 1;
  }
  // Its input opened as osslsigncode's Windows build opens it, sharing it with readers only.
  HANDLE input = CreateFileW(in, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (input == INVALID_HANDLE_VALUE) {
    printf("cannot open its input: error %lu\n", GetLastError());
    return 1;
  }
  CloseHandle(input);
  if (GetEnvironmentVariableW(L"STALL_ON", stall, 64) == 0 || wcsncmp(name, stall, wcslen(stall)) != 0)
    return CopyFileW(in, out, FALSE) ? 0 : 1;
  GetEnvironmentVariableW(L"MARKER", marker, MAX_PATH);
  CloseHandle(CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  Sleep(60000);
  return 3;
}
