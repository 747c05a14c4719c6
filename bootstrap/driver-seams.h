// For tests only: the start-up from the attached data on, so that a probe can
// run it over data of its own (a payload it read, a template it chose) after
// the console set-up and the reset of the run values.
#pragma once
#include <stdint.h>

// Expands the target, registers the control handler, unpacks and launches;
// returns the child's exit status. runtimeArguments is the vector the child
// learns its typed name from.
uint32_t runAttachedApplication(wchar_t** runtimeArguments);
