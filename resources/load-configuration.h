// Shared with onefile-pack: compiled by both sides, it stands on its own and
// includes only system headers and the other shared headers.
//
// The layout of the load configuration (load-configuration.cpp) in figures:
// the step after the link (cmake/set-load-configuration.sh) reads these two
// lines to point the image's directory at the structure and to check its
// flags, and the structure is checked against them when it is compiled. A
// system header that changes the structure's layout fails the build.
#pragma once

enum : unsigned {
  LOAD_CONFIGURATION_SIZE = 112,         // the structure, and the directory entry's size
  LOAD_CONFIGURATION_FLAGS_OFFSET = 78,  // its DependentLoadFlags field
};
