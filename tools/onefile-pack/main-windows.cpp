#include <windows.h>

#include <string>

#include "host/host-system.h"
#include "onefile-pack/commands.h"

// Arguments arrive as UTF-16, so that every name reaches the tool whatever the
// system's code page; inside, text is UTF-8 as on Linux. The tool imports
// kernel32 and the C runtime alone, which the system always has; its load
// configuration restricts what the loader resolves before this runs.
int wmain(int argc, wchar_t** argv) {
  onefile::loadLibrariesFromSystemFolderOnly();
  onefile::Arguments arguments;
  for (int i = 1; i < argc; ++i) {
    int size = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
    std::string text(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, text.data(), size, nullptr, nullptr);
    arguments.push_back(std::move(text));
  }
  return onefile::runTool(arguments);
}
