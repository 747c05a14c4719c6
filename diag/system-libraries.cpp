#include "diag/system-libraries.h"

#include "diag/library-search.h"

namespace {

bool searchRestricted;

template <typename Function>
void fillRow(Function* row, HMODULE library, const char* name) {
  FARPROC found = library == nullptr ? nullptr : systemCalls.getProcAddress(library, name);
  *row = found != nullptr ? (Function)(void*)found : UnavailableCall<Function>::call;
}

}  // namespace

void restrictLibraryLoads(void) { searchRestricted = restrictLibrarySearch(systemCalls.getProcAddress); }

void loadSystemLibraries(SystemCalls* table) {
#define FILL_ROW(entry, function) fillRow(&table->entry, library, #function);
#define LOAD_LIBRARY(name, CALLS)                                                            \
  {                                                                                          \
    HMODULE library = loadFromSystemFolder(name, searchRestricted, systemCalls.loadLibrary); \
    CALLS(FILL_ROW)                                                                          \
  }
  BOOTSTRAP_SYSTEM_LIBRARIES(LOAD_LIBRARY)
#undef LOAD_LIBRARY
#undef FILL_ROW
}
