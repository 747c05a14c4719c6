// A start of a packed executable as under an on-access scanner, which Wine
// does not have: every close of a handle that was opened for writing waits
// a while first, in the closing thread, as a scanner's look at a new file
// holds that thread up. The bootstrap's own start-up runs over the
// executable's attached data, read from its file, with the open and close
// rows of the system-call table replaced; nothing else differs from a start
// of the executable itself.
//
// With ONEFILE_BENCH_HANDLES naming a file, it writes there, as the program
// is started, one line: the handles opened for writing, how many of them
// were closed, how many are open still, and how many closes failed.
//
//   bench-scanned-start <packed executable> <milliseconds per close>
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "bootstrap/console.h"
#include "bootstrap/driver-seams.h"
#include "diag/system-calls.h"
#include "diag/system-libraries.h"
#include "paths/environment.h"
#include "resources/attached.h"
#include "resources/embedded.h"

namespace {

// More than the bootstrap ever holds open for writing at once.
constexpr unsigned TRACKED_CAPACITY = 4096;

SystemCalls realCalls;
DWORD scanMilliseconds;
CRITICAL_SECTION trackedLock;
HANDLE tracked[TRACKED_CAPACITY];
unsigned trackedCount;
LONG opened, closed, failedCloses, untracked;

HANDLE WINAPI openCounted(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE templateFile) {
  HANDLE file = realCalls.createFile(path, access, share, security, disposition, flags, templateFile);
  if (file == INVALID_HANDLE_VALUE || (access & GENERIC_WRITE) == 0) return file;
  EnterCriticalSection(&trackedLock);
  if (trackedCount < TRACKED_CAPACITY) tracked[trackedCount++] = file;
  else ++untracked;
  ++opened;
  LeaveCriticalSection(&trackedLock);
  return file;
}

bool untrack(HANDLE handle) {
  EnterCriticalSection(&trackedLock);
  bool found = false;
  for (unsigned i = 0; i < trackedCount && !found; ++i) {
    if (tracked[i] != handle) continue;
    tracked[i] = tracked[--trackedCount];
    found = true;
  }
  LeaveCriticalSection(&trackedLock);
  return found;
}

BOOL WINAPI closeScanned(HANDLE handle) {
  if (untrack(handle)) {
    InterlockedIncrement(&closed);
    Sleep(scanMilliseconds);
  }
  BOOL done = realCalls.closeHandle(handle);
  if (!done) InterlockedIncrement(&failedCloses);
  return done;
}

BOOL WINAPI launchCounted(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES processSecurity,
                          LPSECURITY_ATTRIBUTES threadSecurity, BOOL inherit, DWORD flags, LPVOID environment,
                          LPCWSTR directory, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION information) {
  wchar_t report[MAX_PATH];
  DWORD length = GetEnvironmentVariableW(L"ONEFILE_BENCH_HANDLES", report, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    EnterCriticalSection(&trackedLock);
    char line[160];
    int size = snprintf(line, sizeof line, "opened for writing %ld, closed %ld, open at launch %u, failed closes %ld\n",
                        opened, closed, trackedCount + (unsigned)untracked, failedCloses);
    LeaveCriticalSection(&trackedLock);
    HANDLE file = realCalls.createFile(report, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    if (file != INVALID_HANDLE_VALUE) {
      WriteFile(file, line, (DWORD)size, &written, nullptr);
      realCalls.closeHandle(file);
    }
  }
  return realCalls.createProcess(application, commandLine, processSecurity, threadSecurity, inherit, flags,
                                 environment, directory, startup, information);
}

// The executable's attached-data section, read from its file into memory
// that lives as long as the process, as the loaded image's would.
bool readAttachedSection(const wchar_t* path) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD size = GetFileSize(file, nullptr);
  unsigned char* bytes = (unsigned char*)VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  DWORD read = 0;
  bool whole = bytes != nullptr && ReadFile(file, bytes, size, &read, nullptr) && read == size;
  CloseHandle(file);
  if (!whole || size < sizeof(IMAGE_DOS_HEADER)) return false;
  const IMAGE_DOS_HEADER* dos = (const IMAGE_DOS_HEADER*)bytes;
  const IMAGE_NT_HEADERS64* headers = (const IMAGE_NT_HEADERS64*)(bytes + dos->e_lfanew);
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(headers);
  for (WORD i = 0; i < headers->FileHeader.NumberOfSections; ++i, ++section) {
    if (memcmp(section->Name, ATTACHED_SECTION_NAME, sizeof ATTACHED_SECTION_NAME) != 0) continue;
    DWORD held = section->Misc.VirtualSize < section->SizeOfRawData ? section->Misc.VirtualSize : section->SizeOfRawData;
    if (section->PointerToRawData > size || held > size - section->PointerToRawData) return false;
    return useAttachedSection(bytes + section->PointerToRawData, held);
  }
  return false;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  if (__argc != 3 || !readAttachedSection(__wargv[1])) return 97;
  scanMilliseconds = wcstoul(__wargv[2], nullptr, 10);
  InitializeCriticalSection(&trackedLock);
  // The steps of runBootstrap before it finds its attached data.
  restrictLibraryLoads();
  SetDllDirectoryW(L"");
  loadSystemLibraries(&systemCalls, false);
  setupConsole();
  resetRunEnvironment();
  realCalls = systemCalls;
  systemCalls.createFile = openCounted;
  systemCalls.closeHandle = closeScanned;
  systemCalls.createProcess = launchCounted;
  return (int)runAttachedApplication(__wargv);
}
