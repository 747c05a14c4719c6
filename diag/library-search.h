// Shared with onefile-pack: compiled by both sides, it stands on its own and
// includes only system headers and the other shared headers.
//
// Where the process looks for the libraries it loads. Windows looks in the
// executable's own folder before the system folder, for every library that is
// not one of its known ones, also for those that system libraries load for
// themselves; a downloaded executable's folder is often the download folder,
// where a web page may drop any file. A library found there runs its code in
// the process as it is loaded.
#pragma once
#include <windows.h>

// Restricts every later library load of the process, and what each library
// loads in turn, to the system folder. lookUp finds a function of kernel32
// (GetProcAddress, or a test's stand-in for it). False where the system
// cannot (Windows 7 without its loader update): a library must then be named
// by its full path in the system folder (loadFromSystemFolder).
bool restrictLibrarySearch(FARPROC(WINAPI* lookUp)(HMODULE, LPCSTR));

// Loads the library name from the system folder, through load (LoadLibraryExW
// or a test's stand-in): by its name alone where the search is restricted,
// else by its full path, searching its own folder first for what it needs.
// Null when it cannot be loaded.
HMODULE loadFromSystemFolder(const wchar_t* name, bool searchRestricted, HMODULE(WINAPI* load)(LPCWSTR, HANDLE, DWORD));
