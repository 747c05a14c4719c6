// Closing a handle or releasing memory once its work is done. Such a call
// cannot change the run's outcome: what the handle or memory was for is
// already had, and anything a failed release leaves behind goes with the
// process. So its result is not examined; every such call goes through here.
#pragma once
#include <windows.h>

#include "diag/system-calls.h"

template <typename Result>
inline void releaseQuietly(Result) {}

inline void closeQuietly(HANDLE handle) { releaseQuietly(systemCalls.closeHandle(handle)); }
