#include "diag/system-libraries.h"

#include "diag/library-search.h"

namespace {

bool searchRestricted;

template <typename Function>
void fillRow(Function* row, HMODULE library, const char* name) {
  FARPROC found = library == nullptr ? nullptr : systemCalls.getProcAddress(library, name);
  *row = found != nullptr ? (Function)(void*)found : UnavailableCall<Function>::call;
}

// The libraries of every start, or all of them; only the one whose rows
// include row when it is not null.
void loadLibraries(SystemCalls* table, bool everyLibrary, const void* row) {
#define IS_ROW(entry, function) || row == (const void*)&table->entry
#define FILL_ROW(entry, function) fillRow(&table->entry, library, #function);
#define LOAD_LIBRARY(name, CALLS, everyStart)                                                \
  if ((everyLibrary || everyStart) && (row == nullptr CALLS(IS_ROW))) {                      \
    HMODULE library = loadFromSystemFolder(name, searchRestricted, systemCalls.loadLibrary); \
    CALLS(FILL_ROW)                                                                          \
  }
  BOOTSTRAP_SYSTEM_LIBRARIES(LOAD_LIBRARY)
#undef LOAD_LIBRARY
#undef FILL_ROW
#undef IS_ROW
}

}  // namespace

void restrictLibraryLoads(void) { searchRestricted = restrictLibrarySearch(systemCalls.getProcAddress); }

void loadSystemLibraries(SystemCalls* table, bool everyLibrary) { loadLibraries(table, everyLibrary, nullptr); }

void loadLibraryOfRow(SystemCalls* table, const void* row) { loadLibraries(table, true, row); }
