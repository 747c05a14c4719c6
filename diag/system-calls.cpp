#include "diag/system-calls.h"

#include "diag/system-libraries.h"

SystemCalls systemCalls = {
#define SYSTEM_CALL_FUNCTION(entry, function) function,
    BOOTSTRAP_SYSTEM_CALLS(SYSTEM_CALL_FUNCTION)
#undef SYSTEM_CALL_FUNCTION
#define LOADED_FIRST(entry, function) LoadedFirst<&SystemCalls::entry>::call,
        BOOTSTRAP_LIBRARY_CALLS(LOADED_FIRST)
#undef LOADED_FIRST
};
