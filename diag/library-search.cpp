// Shared with onefile-pack: compiled by both sides, it stands on its own and
// includes only system headers and the other shared headers.

#include "diag/library-search.h"

#include <wchar.h>

bool restrictLibrarySearch(FARPROC(WINAPI* lookUp)(HMODULE, LPCSTR)) {
  typedef BOOL(WINAPI * SetDefaultDirectories)(DWORD);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return false;
  SetDefaultDirectories setDefaultDirectories =
      (SetDefaultDirectories)(void*)lookUp(kernel, "SetDefaultDllDirectories");
  return setDefaultDirectories != nullptr && setDefaultDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

HMODULE loadFromSystemFolder(const wchar_t* name, bool searchRestricted,
                             HMODULE(WINAPI* load)(LPCWSTR, HANDLE, DWORD)) {
  if (searchRestricted) return load(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  enum : unsigned { PATH_ROOM = MAX_PATH + 32 };
  wchar_t path[PATH_ROOM];
  UINT length = GetSystemDirectoryW(path, MAX_PATH);
  size_t nameLength = wcslen(name);
  if (length == 0 || length >= MAX_PATH || length + 1 + nameLength >= PATH_ROOM) return nullptr;
  path[length] = L'\\';
  wmemcpy(path + length + 1, name, nameLength + 1);
  return load(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
