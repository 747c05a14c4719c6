#include "host/host-system.h"

#include <memory>

#include "host/pack-error.h"

#ifdef _WIN32
#include <windows.h>
#include <io.h>
#else
#include <unistd.h>

#include <thread>
#endif

namespace onefile {

#ifdef _WIN32

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

#else

unsigned processorCount() {
  unsigned count = std::thread::hardware_concurrency();
  return count == 0 ? 1 : count;
}

bool isTerminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

std::FILE* openForReading(const std::filesystem::path& path) { return std::fopen(path.c_str(), "rb"); }

std::vector<std::string> folderEntryNames(const std::filesystem::path& folder, std::error_code& error) {
  std::vector<std::string> names;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
    names.push_back(it->path().filename().u8string());
  return names;
}

#endif

// Read through openForReading, so that Unicode names and long paths work on
// Windows too. An empty file is read as such.
std::string readWholeFile(const std::filesystem::path& path, const std::string& shownName) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(openForReading(path), std::fclose);
  if (!file) throw PackError(shownName, "cannot read the file");
  std::string bytes;
  char piece[1 << 16];
  for (size_t got; (got = std::fread(piece, 1, sizeof piece, file.get())) > 0;) bytes.append(piece, got);
  if (std::ferror(file.get())) throw PackError(shownName, "cannot read the file");
  return bytes;
}

}  // namespace onefile
