#include "diag/system-library.h"

FARPROC systemLibraryFunction(const wchar_t* library, const char* name) {
  HMODULE module = LoadLibraryExW(library, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  return module == nullptr ? nullptr : GetProcAddress(module, name);
}
