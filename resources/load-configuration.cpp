// Shared with onefile-pack: compiled by both sides, it stands on its own and
// includes only system headers and the other shared headers.
//
// The executable's load configuration, which the loader reads before any of
// the program's code runs: the libraries that it loads for the executable's
// imports, and those that they import in turn, are looked for in the system
// folder only (Windows 10 1607 and later honour the flags; older systems
// ignore them). The start-up restricts every later load itself.
//
// The linker keeps this structure but does not point the image's
// load-configuration directory at it: the build does that after linking
// (cmake/set-load-configuration.sh), with the figures of
// load-configuration.h. mingw's headers still call the DependentLoadFlags
// field Reserved1.
#include "resources/load-configuration.h"

#include <windows.h>
#include <stddef.h>

static_assert(sizeof(IMAGE_LOAD_CONFIG_DIRECTORY64) == LOAD_CONFIGURATION_SIZE,
              "the load configuration's size differs from load-configuration.h");
static_assert(offsetof(IMAGE_LOAD_CONFIG_DIRECTORY64, Reserved1) == LOAD_CONFIGURATION_FLAGS_OFFSET,
              "the dependent load flags' offset differs from load-configuration.h");

namespace {

// Every field but the size and the flags is zero: no security cookie, no
// exception handler table, no control-flow guard.
constexpr IMAGE_LOAD_CONFIG_DIRECTORY64 searchingTheSystemFolderOnly() {
  IMAGE_LOAD_CONFIG_DIRECTORY64 configuration = {};
  configuration.Size = sizeof configuration;
  configuration.Reserved1 = LOAD_LIBRARY_SEARCH_SYSTEM32;  // DependentLoadFlags
  return configuration;
}

}  // namespace

extern "C" const IMAGE_LOAD_CONFIG_DIRECTORY64 _load_config_used = searchingTheSystemFolderOnly();
