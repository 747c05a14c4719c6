// The fault loop's one table: for every call of the bootstrap's system-call
// table, how the fault probe makes it fail and how the run must then end. A
// call whose arguments give it several jobs (the check's open and the write's
// open, the program path read for a variable and for the child's argument,
// a directory made for the first time or again on the way back down) has a
// row per job. A call added to the bootstrap's table needs its rows here: the
// probe refuses to run without them.
#pragma once
#include <windows.h>
#include <stdint.h>

#include <string>

// How a run may end, as the guide's table of messages and statuses tells.
enum class Ending {
  STARTS,         // the failure is absorbed: the program starts and its status is the run's
  REPORT,         // status 2, the message on standard output
  SYSTEM_REPORT,  // status 2, the message with the call's code and text on standard error
  EXPANSION,      // status 3, the message on standard error
  OPEN_FAILED,    // status 2, "failed to open '<a file below the call's path>' for writing"
  FULL_BUFFER,    // status 4, no message
  STATUS_UNREAD,  // status 1, no message: the program ran, its status could not be read
  AS_ITS_CALLS,   // a library or function that cannot be had: the run ends as the
                  // first of its calls that is made fails, and starts when none is
};

struct FaultRow {
  const char* call;  // the function, then the job its arguments give it
  intptr_t failure;  // what the failed call returns
  DWORD errorCode;   // what GetLastError gives after it
  bool releases;     // a release: done, and then reported failed
  Ending ending;
  const char* message;
};

// The row of a call and its job; a row naming the function alone stands for
// each of its jobs (a library loaded, a function looked up).
const FaultRow* findFaultRow(const std::string& call);

// The probe's template, the run's only expansion, and its version: the
// folders of older versions beside the target are removed.
inline constexpr wchar_t FAULT_TEMPLATE[] = L"{TEMP}\\app\\{VERSION}";
inline constexpr wchar_t FAULT_VERSION[] = L"1.0.0";
// What the packed program ends with, so that a start is told from a report.
inline constexpr DWORD FAULT_APP_STATUS = 42;

// -1 stands for INVALID_HANDLE_VALUE, which is no constant expression.
inline constexpr FaultRow FAULT_ROWS[] = {
    {"AttachConsole", FALSE, ERROR_INVALID_HANDLE, false, Ending::STARTS, ""},
    {"SetConsoleCtrlHandler", FALSE, ERROR_NOT_ENOUGH_MEMORY, false, Ending::REPORT,
     "Error, failed to register signal handler."},
    {"GetModuleFileNameW directory", 0, ERROR_NOT_ENOUGH_MEMORY, false, Ending::STARTS, ""},
    {"GetModuleFileNameW argument", 0, ERROR_NOT_ENOUGH_MEMORY, false, Ending::FULL_BUFFER, ""},
    {"GetEnvironmentVariableW", 0, ERROR_ENVVAR_NOT_FOUND, false, Ending::STARTS, ""},
    {"SetEnvironmentVariableW", FALSE, ERROR_NOT_ENOUGH_MEMORY, false, Ending::STARTS, ""},
    {"GetTempPathW", 0, ERROR_NOT_ENOUGH_MEMORY, false, Ending::EXPANSION,
     "Error, couldn't runtime expand spec '{TEMP}\\app\\{VERSION}'."},
    {"SHGetFolderPathW", (intptr_t)(int32_t)0x80070002, ERROR_FILE_NOT_FOUND, false, Ending::EXPANSION,
     "Error, couldn't runtime expand spec '{HOME}'."},
    {"GetFullPathNameW", 0, ERROR_FILENAME_EXCED_RANGE, false, Ending::FULL_BUFFER, ""},
    {"HeapAlloc", 0, ERROR_NOT_ENOUGH_MEMORY, false, Ending::REPORT, "Error, couldn't allocate memory."},
    {"HeapFree", FALSE, ERROR_INVALID_PARAMETER, true, Ending::STARTS, ""},
    {"_wcsdup", 0, ERROR_NOT_ENOUGH_MEMORY, false, Ending::STARTS, ""},
    {"ZSTD_createDCtx", 0, ERROR_NOT_ENOUGH_MEMORY, false, Ending::REPORT, "Error, couldn't allocate memory."},
    {"ZSTD_freeDCtx", -1, ERROR_INVALID_PARAMETER, true, Ending::STARTS, ""},
    {"CreateDirectoryW first", FALSE, ERROR_ACCESS_DENIED, false, Ending::STARTS, ""},
    {"CreateDirectoryW again", FALSE, ERROR_ACCESS_DENIED, false, Ending::OPEN_FAILED, ""},
    {"CreateFileW check", -1, ERROR_ACCESS_DENIED, false, Ending::STARTS, ""},
    {"CreateFileW write", -1, ERROR_ACCESS_DENIED, false, Ending::OPEN_FAILED, ""},
    {"GetFileAttributesExW", FALSE, ERROR_ACCESS_DENIED, false, Ending::STARTS, ""},
    {"GetFileSize", (intptr_t)INVALID_FILE_SIZE, ERROR_ACCESS_DENIED, false, Ending::STARTS, ""},
    {"CreateFileMappingW", 0, ERROR_NOT_ENOUGH_MEMORY, false, Ending::STARTS, ""},
    {"MapViewOfFile", 0, ERROR_NOT_ENOUGH_MEMORY, false, Ending::STARTS, ""},
    {"UnmapViewOfFile", FALSE, ERROR_INVALID_ADDRESS, true, Ending::STARTS, ""},
    {"SetEndOfFile", FALSE, ERROR_USER_MAPPED_FILE, false, Ending::OPEN_FAILED, ""},
    {"WriteFile", FALSE, ERROR_DISK_FULL, false, Ending::SYSTEM_REPORT, "Error, couldn't unpack file to target path."},
    {"CloseHandle", FALSE, ERROR_INVALID_HANDLE, true, Ending::STARTS, ""},
    // Closing written files on threads: whatever fails, every file is closed
    // before the program starts, on the unpacking thread if need be.
    {"SleepConditionVariableSRW", FALSE, ERROR_INVALID_PARAMETER, false, Ending::STARTS, ""},
    {"WaitForMultipleObjects", (intptr_t)WAIT_FAILED, ERROR_INVALID_HANDLE, false, Ending::STARTS, ""},
    {"CommandLineToArgvW", 0, ERROR_NOT_ENOUGH_MEMORY, false, Ending::FULL_BUFFER, ""},
    {"CreateProcessW", FALSE, ERROR_FILE_NOT_FOUND, false, Ending::SYSTEM_REPORT, "Error, couldn't launch child"},
    {"GetExitCodeProcess", FALSE, ERROR_ACCESS_DENIED, false, Ending::STATUS_UNREAD, ""},
    // A first start's progress window is no part of the run: the start goes on without it.
    {"CreateThread window", 0, ERROR_NOT_ENOUGH_MEMORY, false, Ending::STARTS, ""},
    // The removal of older versions is housekeeping: no failure of it shows.
    {"CreateThread removal", 0, ERROR_NOT_ENOUGH_MEMORY, false, Ending::STARTS, ""},
    // Closing threads that cannot start leave the closing to the unpacking.
    {"CreateThread closing", 0, ERROR_NOT_ENOUGH_MEMORY, false, Ending::STARTS, ""},
    {"FindFirstFileExW", -1, ERROR_ACCESS_DENIED, false, Ending::STARTS, ""},
    {"FindNextFileW", FALSE, ERROR_ACCESS_DENIED, false, Ending::STARTS, ""},
    {"FindClose", FALSE, ERROR_INVALID_HANDLE, true, Ending::STARTS, ""},
    {"MoveFileExW", FALSE, ERROR_SHARING_VIOLATION, false, Ending::STARTS, ""},
    {"CreateFileW folder", -1, ERROR_SHARING_VIOLATION, false, Ending::STARTS, ""},
    {"CreateFileW names", -1, ERROR_ACCESS_DENIED, false, Ending::STARTS, ""},
    {"GetFileInformationByHandle folder", FALSE, ERROR_ACCESS_DENIED, false, Ending::STARTS, ""},
    {"SetFileAttributesW", FALSE, ERROR_ACCESS_DENIED, false, Ending::STARTS, ""},
    {"DeleteFileW", FALSE, ERROR_ACCESS_DENIED, false, Ending::STARTS, ""},
    // Taking files from another version's folder: whatever fails there, the
    // file is written from the payload instead.
    {"FindFirstFileExW versions", -1, ERROR_ACCESS_DENIED, false, Ending::STARTS, ""},
    {"CreateFileW beside", -1, ERROR_SHARING_VIOLATION, false, Ending::STARTS, ""},
    {"GetFileInformationByHandle identity", FALSE, ERROR_ACCESS_DENIED, false, Ending::STARTS, ""},
    {"CreateDirectoryW link", FALSE, ERROR_ACCESS_DENIED, false, Ending::STARTS, ""},
    {"CreateHardLinkW", FALSE, ERROR_NOT_SUPPORTED, false, Ending::STARTS, ""},
    // A file found to be written whose links cannot be counted is made anew,
    // as a shared one is; a name that cannot be removed is a file that cannot
    // be written.
    {"GetFileInformationByHandleEx", FALSE, ERROR_ACCESS_DENIED, false, Ending::STARTS, ""},
    {"DeleteFileW shared", FALSE, ERROR_ACCESS_DENIED, false, Ending::OPEN_FAILED, ""},
    {"RemoveDirectoryW", FALSE, ERROR_DIR_NOT_EMPTY, false, Ending::STARTS, ""},
    {"LoadLibraryExW", 0, ERROR_MOD_NOT_FOUND, false, Ending::AS_ITS_CALLS, ""},
    {"GetProcAddress", 0, ERROR_PROC_NOT_FOUND, false, Ending::AS_ITS_CALLS, ""},
};

inline const FaultRow* findFaultRow(const std::string& call) {
  for (const FaultRow& row : FAULT_ROWS)
    if (call == row.call) return &row;
  std::string function = call.substr(0, call.find(' '));
  for (const FaultRow& row : FAULT_ROWS)
    if (function == row.call) return &row;
  return nullptr;
}
