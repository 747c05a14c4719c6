#include "diag/system-calls.h"

SystemCalls systemCalls = {
#define SYSTEM_CALL_FUNCTION(entry, function) function,
    BOOTSTRAP_SYSTEM_CALLS(SYSTEM_CALL_FUNCTION)
#undef SYSTEM_CALL_FUNCTION
};
