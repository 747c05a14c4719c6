#include <windows.h>

#include <string>

#include "onefile-pack/commands.h"

namespace {

// Users download the tool and start it from their download folder, where a
// web page may drop any file: no library is ever looked for beside the tool
// or in the current folder, only in the system folder. The tool imports
// kernel32 and the C runtime alone, which the system always has; its load
// configuration restricts what the loader resolves before this runs. Where
// the system lacks the call (Windows 7 without its loader update), the
// current folder at least is left out.
void searchSystemFolderOnly() {
  typedef BOOL(WINAPI * SetDefaultDirectories)(DWORD);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  auto setDefaultDirectories =
      kernel == nullptr ? nullptr : (SetDefaultDirectories)(void*)GetProcAddress(kernel, "SetDefaultDllDirectories");
  if (setDefaultDirectories == nullptr || !setDefaultDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) SetDllDirectoryW(L"");
}

}  // namespace

// Arguments arrive as UTF-16, so that every name reaches the tool whatever the
// system's code page; inside, text is UTF-8 as on Linux.
int wmain(int argc, wchar_t** argv) {
  searchSystemFolderOnly();
  onefile::Arguments arguments;
  for (int i = 1; i < argc; ++i) {
    int size = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
    std::string text(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, text.data(), size, nullptr, nullptr);
    arguments.push_back(std::move(text));
  }
  return onefile::runTool(arguments);
}
