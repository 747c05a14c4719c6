# The bootstrap: a GUI-subsystem program with a Unicode entry point, linked
# statically against the msvcrt runtime, without exceptions, RTTI or any need
# for libstdc++ at run time.
set(ONEFILE_DEPS_DIR "${CMAKE_SOURCE_DIR}/.deps" CACHE PATH "Built dependencies")
set(ONEFILE_MINGW_DEPS "${ONEFILE_DEPS_DIR}/mingw")

# The compiler flags, shared with the set-up and the benchmarks: each
# NAME="words" line becomes a CMake list of that name.
set(ONEFILE_FLAGS_FILE "${CMAKE_SOURCE_DIR}/cmake/compiler-flags.sh")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${ONEFILE_FLAGS_FILE}")
file(STRINGS "${ONEFILE_FLAGS_FILE}" flag_lines REGEX "^[A-Z_]+=\".*\"$")
foreach(line IN LISTS flag_lines)
  string(REGEX MATCH "^([A-Z_]+)=\"(.*)\"$" unused "${line}")
  separate_arguments(${CMAKE_MATCH_1} UNIX_COMMAND "${CMAKE_MATCH_2}")
endforeach()

add_library(onefile_zstd STATIC IMPORTED)
set_target_properties(onefile_zstd PROPERTIES
  IMPORTED_LOCATION "${ONEFILE_MINGW_DEPS}/lib/libzstd.a"
  INTERFACE_INCLUDE_DIRECTORIES "${ONEFILE_MINGW_DEPS}/include")

# Everything of the bootstrap but its entry point and its attached data.
add_library(onefile_bootstrap STATIC)
target_include_directories(onefile_bootstrap PUBLIC "${CMAKE_SOURCE_DIR}")
target_compile_options(onefile_bootstrap PRIVATE ${BOOTSTRAP_COMPILE_FLAGS} -Wall -Wextra -Wshadow)
target_compile_definitions(onefile_bootstrap PUBLIC ${BOOTSTRAP_DEFINITIONS})
target_link_libraries(onefile_bootstrap PUBLIC onefile_zstd z shell32)

# The entry point alone, so that a program with its own main can link the rest.
add_library(onefile_entry STATIC bootstrap/main.cpp)
target_link_libraries(onefile_entry PRIVATE onefile_bootstrap)
target_compile_options(onefile_entry PRIVATE ${BOOTSTRAP_COMPILE_FLAGS})

# Link settings for scripts/link-bootstrap.sh, which attaches a payload.
set(ONEFILE_LINK_FLAGS "-static -mwindows -municode -s -Wl,--gc-sections -lz -lshell32")
set(ONEFILE_LINK_CONFIG "${CMAKE_BINARY_DIR}/link-config.sh")
file(GENERATE OUTPUT "${ONEFILE_LINK_CONFIG}" CONTENT
"CC='${CMAKE_C_COMPILER}'
ENTRY_LIB='$<TARGET_FILE:onefile_entry>'
BOOTSTRAP_LIBS='$<TARGET_FILE:onefile_bootstrap> ${ONEFILE_MINGW_DEPS}/lib/libzstd.a'
LINK_FLAGS='${ONEFILE_LINK_FLAGS}'
")
set(ONEFILE_LINK_SCRIPT "${CMAKE_SOURCE_DIR}/scripts/link-bootstrap.sh")

# onefile_add_bootstrap(<target> PAYLOAD <file> OUTPUT <exe> [TEMPLATE <t>] [VERSION <v>])
# A bootstrap executable that carries the payload file, built like `make exe`.
function(onefile_add_bootstrap target)
  cmake_parse_arguments(arg "" "PAYLOAD;OUTPUT;TEMPLATE;VERSION" "DEPENDS" ${ARGN})
  set(extra "")
  if(DEFINED arg_TEMPLATE)
    list(APPEND extra --template "${arg_TEMPLATE}")
  endif()
  if(DEFINED arg_VERSION)
    list(APPEND extra --version "${arg_VERSION}")
  endif()
  add_custom_command(OUTPUT "${arg_OUTPUT}"
    COMMAND ${CMAKE_COMMAND} -E env ONEFILE_LINK_CONFIG=${ONEFILE_LINK_CONFIG}
            bash ${ONEFILE_LINK_SCRIPT} "${arg_PAYLOAD}" "${arg_OUTPUT}" ${extra}
    DEPENDS "${arg_PAYLOAD}" ${ONEFILE_LINK_SCRIPT} onefile_entry onefile_bootstrap ${arg_DEPENDS}
    COMMENT "Attaching ${arg_PAYLOAD} to ${arg_OUTPUT}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS "${arg_OUTPUT}")
endfunction()
