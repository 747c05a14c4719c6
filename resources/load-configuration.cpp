// The executable's load configuration, which the loader reads before any of
// the program's code runs: the libraries that it loads for the executable's
// imports, and those that they import in turn, are looked for in the system
// folder only (Windows 10 1607 and later honour the flags; older systems
// ignore them). The start-up restricts every later load itself.
//
// The linker keeps this structure but does not point the image's
// load-configuration directory at it: the build does that after linking
// (cmake/set-load-configuration.sh). mingw's headers still call the
// DependentLoadFlags field Reserved1.
#include <windows.h>

// Every field but the size and the flags is zero: no security cookie, no
// exception handler table, no control-flow guard.
extern "C" const IMAGE_LOAD_CONFIG_DIRECTORY64 _load_config_used = {sizeof(IMAGE_LOAD_CONFIG_DIRECTORY64),
                                                                    0,
                                                                    0,
                                                                    0,
                                                                    0,
                                                                    0,
                                                                    0,
                                                                    0,
                                                                    0,
                                                                    0,
                                                                    0,
                                                                    0,
                                                                    0,
                                                                    0,
                                                                    0,
                                                                    LOAD_LIBRARY_SEARCH_SYSTEM32,  // DependentLoadFlags
                                                                    0,
                                                                    0,
                                                                    0,
                                                                    0};
