// Environment variables shared with the child (environment.cpp).
#pragma once
#include <windows.h>
#include <stddef.h>

#include "diag/limits.h"

// The variables the bootstrap reads, clears or sets. Every one reaches the
// child, which inherits the whole environment.
inline constexpr char ENV_ONEFILE_PARENT[] = "TRAVIK_ONEFILE_PARENT";        // own process ID
inline constexpr char ENV_ONEFILE_START[] = "TRAVIK_ONEFILE_START";          // stored {TIME}
inline constexpr char ENV_ONEFILE_TIME_US[] = "TRAVIK_ONEFILE_TIME_US";      // stored {TIME_US}
inline constexpr char ENV_ONEFILE_RANDOM[] = "TRAVIK_ONEFILE_RANDOM";        // stored {RANDOM}
inline constexpr char ENV_ONEFILE_DIRECTORY[] = "TRAVIK_ONEFILE_DIRECTORY";  // folder of the bootstrap
inline constexpr char ENV_ORIGINAL_ARGV0[] = "TRAVIK_ORIGINAL_ARGV0";        // argument 0 as started

// Returns a heap copy of the variable's value, or null when it is missing,
// empty or longer than the system allows. The caller owns the copy.
wchar_t* getEnvironmentValueW(const wchar_t* name);
wchar_t* getEnvironmentValue(const char* name);

// Sets the variable; a null value removes it.
BOOL setEnvironmentValue(const char* name, const wchar_t* value);

// Drops the run values inherited from another bootstrap and records this
// process's ID in TRAVIK_ONEFILE_PARENT.
void resetRunEnvironment(void);
