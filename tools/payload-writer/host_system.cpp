#include "host_system.h"

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

#else

unsigned processorCount() {
  unsigned count = std::thread::hardware_concurrency();
  return count == 0 ? 1 : count;
}

bool isTerminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

std::FILE* openForReading(const std::filesystem::path& path) { return std::fopen(path.c_str(), "rb"); }

#endif

}  // namespace onefile
