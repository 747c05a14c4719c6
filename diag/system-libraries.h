// The system's libraries beyond kernel32 that the bootstrap calls, loaded by
// the start-up from the system folder into the rows of the system-call table
// (diag/system-calls.h lists them).
#pragma once
#include "diag/system-calls.h"

// The start-up's first step: every later library load of the process, the
// system libraries' own included, searches the system folder only.
void restrictLibraryLoads(void);

// Loads the libraries that every start uses (everyLibrary: all of them) and
// fills their rows of table. A library or function that cannot be had leaves
// its rows a stand-in that fails as the call itself fails, so that the run
// ends where the call is made, as it would then.
void loadSystemLibraries(SystemCalls* table, bool everyLibrary);

// The same for the one library whose rows include row, a row of table.
void loadLibraryOfRow(SystemCalls* table, const void* row);

// What a call that cannot be had returns: the failure of a call that reports
// it by zero or null, which is every call of those lists but the one that
// returns an HRESULT.
template <typename Result>
Result unavailableResult(void) {
  return Result();
}
template <>
inline HRESULT unavailableResult<HRESULT>(void) {
  return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
}

// The stand-in for every call of one function type.
template <typename Function>
struct UnavailableCall;

template <typename Result, typename... Arguments>
struct UnavailableCall<Result (*)(Arguments...)> {
  static Result call(Arguments...) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return unavailableResult<Result>();
  }
};

// A library row before its library is loaded: loads it into the process's
// table, then makes the call.
template <auto Entry>
struct LoadedFirst;

template <typename Result, typename... Arguments, Result (*SystemCalls::*Entry)(Arguments...)>
struct LoadedFirst<Entry> {
  static Result call(Arguments... arguments) {
    loadLibraryOfRow(&systemCalls, &(systemCalls.*Entry));
    return (systemCalls.*Entry)(arguments...);
  }
};
