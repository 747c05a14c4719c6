// Stands in for the signing program: copies -in to -out, but on the file
// whose -out name starts with STALL_ON it creates the file MARKER and waits
// to be ended, and on one whose name starts with FAIL_ON it writes part of
// -out and fails.
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  const wchar_t *in = nullptr, *out = nullptr;
  for (int i = 1; i + 1 < argc; ++i) {
    if (wcscmp(argv[i], L"-in") == 0) in = argv[++i];
    else if (wcscmp(argv[i], L"-out") == 0) out = argv[++i];
  }
  if (in == nullptr || out == nullptr) return 2;
  const wchar_t* name = wcsrchr(out, L'\\') != nullptr ? wcsrchr(out, L'\\') + 1 : out;
  wchar_t stall[64] = L"", marker[MAX_PATH] = L"", failOn[64] = L"";
  if (GetEnvironmentVariableW(L"FAIL_ON", failOn, 64) != 0 && wcsncmp(name, failOn, wcslen(failOn)) == 0) {
    CloseHandle(CreateFileW(out, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return 1;
  }
  if (GetEnvironmentVariableW(L"STALL_ON", stall, 64) == 0 || wcsncmp(name, stall, wcslen(stall)) != 0)
    return CopyFileW(in, out, FALSE) ? 0 : 1;
  GetEnvironmentVariableW(L"MARKER", marker, MAX_PATH);
  CloseHandle(CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  Sleep(60000);
  return 3;
}
