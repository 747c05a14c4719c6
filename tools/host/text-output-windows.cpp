// A console shows narrow text in its own code page, which is rarely UTF-8:
// text for a console goes there as UTF-16, everything else as UTF-8 bytes.
#include <windows.h>
#include <io.h>

#include <string>

#include "host/text-output.h"

namespace onefile {
namespace {

HANDLE consoleOf(std::FILE* stream) {
  DWORD mode = 0;
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0 ? handle : nullptr;
}

std::wstring wideFrom(std::string_view utf8) {
  int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(units > 0 ? static_cast<size_t>(units) : 0, L'\0');
  if (units > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), units);
  return wide;
}

bool writeConsole(HANDLE console, const std::wstring& wide) {
  for (size_t done = 0; done < wide.size();) {
    DWORD written = 0;
    DWORD units = static_cast<DWORD>(std::min<size_t>(wide.size() - done, 1 << 15));
    if (!WriteConsoleW(console, wide.data() + done, units, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

}  // namespace

void writeText(std::FILE* stream, std::string_view utf8) {
  if (HANDLE console = consoleOf(stream)) {
    std::fflush(stream);  // what the stream holds comes first
    if (writeConsole(console, wideFrom(utf8))) return;
  }
  // As printf: a failed write shows in the stream's error flag.
  (void)std::fwrite(utf8.data(), 1, utf8.size(), stream);
}

}  // namespace onefile
