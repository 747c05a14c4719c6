// The system and allocation calls whose failure the run must answer for, made
// through one process-wide table. The bootstrap fills it with the real
// functions and never changes it; a test program may replace an entry before
// it runs the start-up, to make one call fail and watch how the run ends.
// Nothing at run time reads a variable or a file to change an entry.
#pragma once
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wchar.h>
#include <zstd.h>

// One row per call: the table's entry, then the function it holds. A new
// call whose failure matters is one more row here (the test programs' fault
// loop then asks for one more row of expectations), and is made as
// systemCalls.<entry>(...) where it is needed.
#define BOOTSTRAP_SYSTEM_CALLS(ROW)                    \
  /* console and start-up (bootstrap/) */              \
  ROW(attachConsole, AttachConsole)                    \
  ROW(setConsoleCtrlHandler, SetConsoleCtrlHandler)    \
  /* paths and environment (paths/) */                 \
  ROW(getModuleFileName, GetModuleFileNameW)           \
  ROW(getEnvironmentVariable, GetEnvironmentVariableW) \
  ROW(setEnvironmentVariable, SetEnvironmentVariableW) \
  ROW(getTempPath, GetTempPathW)                       \
  ROW(getFolderPath, SHGetFolderPathW)                 \
  ROW(getFullPathName, GetFullPathNameW)               \
  /* memory and the decoder (payload/) */              \
  ROW(heapAlloc, HeapAlloc)                            \
  ROW(heapFree, HeapFree)                              \
  ROW(duplicateText, _wcsdup)                          \
  ROW(createDecoder, ZSTD_createDCtx)                  \
  ROW(freeDecoder, ZSTD_freeDCtx)                      \
  /* the cache's folders and files (payload/) */       \
  ROW(createDirectory, CreateDirectoryW)               \
  ROW(createFile, CreateFileW)                         \
  ROW(getFileAttributesEx, GetFileAttributesExW)       \
  ROW(getFileSize, GetFileSize)                        \
  ROW(createFileMapping, CreateFileMappingW)           \
  ROW(mapViewOfFile, MapViewOfFile)                    \
  ROW(unmapViewOfFile, UnmapViewOfFile)                \
  ROW(setEndOfFile, SetEndOfFile)                      \
  ROW(writeFile, WriteFile)                            \
  ROW(closeHandle, CloseHandle)                        \
  /* the child (bootstrap/) */                         \
  ROW(commandLineToArgv, CommandLineToArgvW)           \
  ROW(createProcess, CreateProcessW)                   \
  ROW(getExitCodeProcess, GetExitCodeProcess)          \
  /* older versions' folders (payload/) */             \
  ROW(createThread, CreateThread)                      \
  ROW(findFirstFileEx, FindFirstFileExW)               \
  ROW(findNextFile, FindNextFileW)                     \
  ROW(findClose, FindClose)                            \
  ROW(moveFileEx, MoveFileExW)                         \
  ROW(getFileInformation, GetFileInformationByHandle)  \
  ROW(setFileAttributes, SetFileAttributesW)           \
  ROW(deleteFile, DeleteFileW)                         \
  ROW(removeDirectory, RemoveDirectoryW)

struct SystemCalls {
#define SYSTEM_CALL_ENTRY(entry, function) decltype(&function) entry;
  BOOTSTRAP_SYSTEM_CALLS(SYSTEM_CALL_ENTRY)
#undef SYSTEM_CALL_ENTRY
};

// The real functions, in the rows' order.
extern SystemCalls systemCalls;
