# SPDX-License-Identifier: Apache-2.0 WITH LLVM-exception
# One packing step of onefile_add_executable(): runs onefile-pack build, then
# writes a depfile naming every file and folder of the application folder.
#   cmake -DSETTINGS=<settings file> -DDEPFILE=<depfile> -P onefile-pack-step.cmake
include("${SETTINGS}")
execute_process(COMMAND "${pack}" build ${arguments} -o "${output}" -q RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "onefile-pack build failed (${status})")
endif()

# Make-style depfile: spaces and '#' escaped, one dependency per line.
function(depfile_entry path out)
  string(REPLACE "\\" "/" path "${path}")
  string(REPLACE " " "\\ " path "${path}")
  string(REPLACE "#" "\\#" path "${path}")
  string(REPLACE "$" "$$" path "${path}")
  set(${out} "${path}" PARENT_SCOPE)
endfunction()

# A ready payload is the one file packed; the settings name it already.
set(entries "")
if(app_dir)
  file(GLOB_RECURSE entries LIST_DIRECTORIES true "${app_dir}/*")
  list(SORT entries)
  # A folder's time changes when a file is added to it or removed from it.
  list(PREPEND entries "${app_dir}")
endif()
depfile_entry("${output}" target)
set(text "${target}: \\\n")
foreach(entry IN LISTS entries)
  depfile_entry("${entry}" dependency)
  string(APPEND text "  ${dependency} \\\n")
endforeach()
string(APPEND text "\n")
file(WRITE "${DEPFILE}.tmp" "${text}")
file(RENAME "${DEPFILE}.tmp" "${DEPFILE}")
