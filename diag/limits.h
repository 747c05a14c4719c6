// Shared with onefile-pack: compiled by both sides, it stands on its own and
// includes only system headers and the other shared headers.
//
// Every fixed text buffer of the bootstrap, in UTF-16 code units including the
// terminating zero. A text that would not fit ends the run (see report.h).
// The buffer of a record name belongs to the payload (payload/format.h).
#pragma once

enum : unsigned {
  ENV_NAME_CAPACITY = 40,           // wide form of an environment variable name
  ENV_VALUE_CAPACITY = 32768,       // one environment value as the system reads it
  PROCESS_ID_TEXT_CAPACITY = 128,   // decimal text of a process ID
  PATH_CAPACITY = 4096,             // target directory, target paths, expansions
  MODULE_PATH_CAPACITY = 4097,      // own path read for TRAVIK_ONEFILE_DIRECTORY
  COMMAND_LINE_CAPACITY = 32768,    // the child's command line
  TEMPLATE_NAME_CAPACITY = 1024,    // a placeholder name between braces
};
