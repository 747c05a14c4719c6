// The system and allocation calls whose failure the run must answer for, made
// through one process-wide table. The bootstrap fills it with the real
// functions at start-up and never changes it afterwards; a test program may
// replace an entry before it runs the start-up, to make one call fail and
// watch how the run ends. Nothing at run time reads a variable or a file to
// change an entry.
#pragma once
#include <windows.h>
#include <commctrl.h>
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
  /* closing written files (payload/) */               \
  ROW(sleepConditionVariable, SleepConditionVariableSRW) \
  ROW(waitForMultipleObjects, WaitForMultipleObjects)  \
  /* the child (bootstrap/) */                         \
  ROW(createProcess, CreateProcessW)                   \
  ROW(getExitCodeProcess, GetExitCodeProcess)          \
  /* older versions' folders, closing threads */       \
  ROW(createThread, CreateThread)                      \
  ROW(findFirstFileEx, FindFirstFileExW)               \
  ROW(findNextFile, FindNextFileW)                     \
  ROW(findClose, FindClose)                            \
  ROW(moveFileEx, MoveFileExW)                         \
  ROW(getFileInformation, GetFileInformationByHandle)  \
  ROW(setFileAttributes, SetFileAttributesW)           \
  ROW(deleteFile, DeleteFileW)                         \
  ROW(removeDirectory, RemoveDirectoryW)               \
  /* files taken from another version's folder, and */ \
  /* a file shared by two folders never written to */  \
  ROW(createHardLink, CreateHardLinkW)                 \
  ROW(getFileInformationEx, GetFileInformationByHandleEx) \
  /* the system's libraries beyond kernel32 (diag/) */ \
  ROW(loadLibrary, LoadLibraryExW)                     \
  ROW(getProcAddress, GetProcAddress)

// The calls into the system's libraries beyond kernel32, one list per
// library. The executable does not import them: the loader would look for
// them, and for what they need in turn, beside the executable first, where a
// download folder may hold anything. The start-up loads them from the system
// folder and fills these rows (diag/system-libraries.cpp).
#define BOOTSTRAP_SHELL32_CALLS(ROW)         \
  ROW(getFolderPath, SHGetFolderPathW)       \
  ROW(commandLineToArgv, CommandLineToArgvW)

// The message box of a report, and the first start's progress window.
#define BOOTSTRAP_USER32_CALLS(ROW)                                \
  ROW(getProcessWindowStation, GetProcessWindowStation)            \
  ROW(getUserObjectInformation, GetUserObjectInformationW)         \
  ROW(getThreadDesktop, GetThreadDesktop)                          \
  ROW(openInputDesktop, OpenInputDesktop)                          \
  ROW(closeDesktop, CloseDesktop)                                  \
  ROW(messageBox, MessageBoxW)                                     \
  ROW(killTimer, KillTimer)                                        \
  ROW(defWindowProc, DefWindowProcW)                               \
  ROW(systemParametersInfo, SystemParametersInfoW)                 \
  ROW(sendMessage, SendMessageW)                                   \
  ROW(loadImage, LoadImageW)                                       \
  ROW(getSystemMetrics, GetSystemMetrics)                          \
  ROW(loadCursor, LoadCursorW)                                     \
  ROW(registerClassEx, RegisterClassExW)                           \
  ROW(adjustWindowRectEx, AdjustWindowRectEx)                      \
  ROW(createWindowEx, CreateWindowExW)                             \
  ROW(showWindow, ShowWindow)                                      \
  ROW(updateWindow, UpdateWindow)                                  \
  ROW(getMessage, GetMessageW)                                     \
  ROW(setTimer, SetTimer)                                          \
  ROW(postMessage, PostMessageW)                                   \
  ROW(postQuitMessage, PostQuitMessage)                            \
  ROW(allowSetForegroundWindow, AllowSetForegroundWindow)          \
  ROW(translateMessage, TranslateMessage)                          \
  ROW(dispatchMessage, DispatchMessageW)                           \
  ROW(destroyWindow, DestroyWindow)

#define BOOTSTRAP_GDI32_CALLS(ROW) ROW(createFontIndirect, CreateFontIndirectW)

#define BOOTSTRAP_COMCTL32_CALLS(ROW) ROW(initCommonControlsEx, InitCommonControlsEx)

// Each library with its list, and whether every start loads it: the start-up
// loads those, the others are loaded by the first call of one of their rows.
// The window's libraries cost a start tens of milliseconds under Wine, and
// only a first start's progress window needs them.
#define BOOTSTRAP_SYSTEM_LIBRARIES(LIBRARY)              \
  LIBRARY(L"shell32.dll", BOOTSTRAP_SHELL32_CALLS, true) \
  LIBRARY(L"user32.dll", BOOTSTRAP_USER32_CALLS, true)   \
  LIBRARY(L"gdi32.dll", BOOTSTRAP_GDI32_CALLS, false)    \
  LIBRARY(L"comctl32.dll", BOOTSTRAP_COMCTL32_CALLS, false)

// Every row of the table: the calls made straight, then the libraries' ones.
#define BOOTSTRAP_LIBRARY_CALLS(ROW) \
  BOOTSTRAP_SHELL32_CALLS(ROW)       \
  BOOTSTRAP_USER32_CALLS(ROW)        \
  BOOTSTRAP_GDI32_CALLS(ROW)         \
  BOOTSTRAP_COMCTL32_CALLS(ROW)
#define BOOTSTRAP_EVERY_SYSTEM_CALL(ROW) \
  BOOTSTRAP_SYSTEM_CALLS(ROW)            \
  BOOTSTRAP_LIBRARY_CALLS(ROW)

struct SystemCalls {
#define SYSTEM_CALL_ENTRY(entry, function) decltype(&function) entry;
  BOOTSTRAP_EVERY_SYSTEM_CALL(SYSTEM_CALL_ENTRY)
#undef SYSTEM_CALL_ENTRY
};

// The real functions, in the rows' order. Until its library is loaded, a
// library row loads it at its first call: so does a program that uses the
// routines without the start-up (a test, a benchmark).
extern SystemCalls systemCalls;
