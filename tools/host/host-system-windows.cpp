// The host's services on Windows.
#include "host/host-system.h"

#include <windows.h>
#include <io.h>

#include "diag/library-search.h"

namespace onefile {

void loadLibrariesFromSystemFolderOnly() {
  if (!restrictLibrarySearch(GetProcAddress)) SetDllDirectoryW(L"");
}

unsigned processorCount() {
  DWORD count = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
  return count == 0 ? 1 : count;
}

// The C runtime calls the null device a terminal too; only a console is one.
bool isTerminal(std::FILE* stream) {
  DWORD mode = 0;
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

std::FILE* openForReading(const std::filesystem::path& path) { return _wfopen(path.c_str(), L"rb"); }

std::FILE* openScratchFile(const std::filesystem::path& path) { return _wfopen(path.c_str(), L"w+b"); }

std::vector<std::string> folderEntryNames(const std::filesystem::path& folder, std::error_code& error) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileExW((folder / L"*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) {
    error = std::error_code(static_cast<int>(GetLastError()), std::system_category());
    return names;
  }
  do {
    std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(std::filesystem::path(name).u8string());
  } while (FindNextFileW(search, &found));
  DWORD ended = GetLastError();
  FindClose(search);  // a search handle only read from
  if (ended != ERROR_NO_MORE_FILES) error = std::error_code(static_cast<int>(ended), std::system_category());
  return names;
}

}  // namespace onefile
