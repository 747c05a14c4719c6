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

include(cmake/bootstrap-layers.cmake)

# onefile_search_system_folder_first(<target>)
# An executable that users download and start from their download folder:
# its load configuration tells the loader to look for the libraries it
# imports, and what they import, in the system folder only
# (resources/load-configuration.cpp). The linker leaves the image's
# directory entry for it empty; the step after the link sets it, from the
# link map, and checks it with objdump.
function(onefile_search_system_folder_first target)
  set(map "${CMAKE_CURRENT_BINARY_DIR}/${target}.map")
  onefile_shared_source(source resources/load-configuration.cpp)
  target_sources(${target} PRIVATE "${source}")
  # Nothing refers to the structure but the loader: kept against --gc-sections.
  target_link_options(${target} PRIVATE -Wl,--undefined=_load_config_used -Wl,-Map=${map})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND bash "${CMAKE_SOURCE_DIR}/cmake/set-load-configuration.sh" "${CMAKE_OBJDUMP}" "$<TARGET_FILE:${target}>" "${map}"
    VERBATIM)
endfunction()

# The prebuilt bootstrap: everything but the attached data, which onefile-pack
# writes into a copy of it as a section of its own. It carries no time stamp,
# so that the executables made from it are reproducible.
set(ONEFILE_STUB_DIR "${CMAKE_BINARY_DIR}/stub")
add_executable(onefile-stub bootstrap/main.cpp)
set_target_properties(onefile-stub PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${ONEFILE_STUB_DIR}")
target_compile_options(onefile-stub PRIVATE ${BOOTSTRAP_COMPILE_FLAGS})
target_link_libraries(onefile-stub PRIVATE onefile_bootstrap)
target_link_options(onefile-stub PRIVATE
  -static -mwindows -municode -s -Wl,--gc-sections -Wl,--no-insert-timestamp)
onefile_search_system_folder_first(onefile-stub)

# The compiler and the bootstrap's libraries, for benchmarks that build a
# program of their own around the bootstrap's routines.
file(GENERATE OUTPUT "${CMAKE_BINARY_DIR}/link-config.sh" CONTENT
"CC='${CMAKE_C_COMPILER}'
BOOTSTRAP_LIBS='$<TARGET_FILE:onefile_bootstrap> $<TARGET_FILE:onefile_payload> $<TARGET_FILE:onefile_paths> $<TARGET_FILE:onefile_resources> $<TARGET_FILE:onefile_diag> ${ONEFILE_MINGW_DEPS}/lib/libzstd.a'
")

# The host build (ONEFILE_HOST_BUILD_DIR) holds onefile-pack, which carries
# the stub above; the Windows tests make their bootstraps with it.
set(ONEFILE_HOST_BUILD_DIR "" CACHE PATH "Native build holding onefile-pack and the fixture tools")
set(ONEFILE_PACK "${ONEFILE_HOST_BUILD_DIR}/tools/onefile-pack/onefile-pack")

# onefile_add_bootstrap(<target> PAYLOAD <file> OUTPUT <exe> [TEMPLATE <t>] [VERSION <v>] [NAME <n>] [CONSOLE]
#                       [PROGRESS_WINDOW] [REMOVE_OLD_VERSIONS] [CLOSE_THREADS <n>])
# A bootstrap executable that carries the payload file, made like `make exe`:
# template and version as given, unchecked, so that tests can build
# bootstraps meant to fail at run time. CONSOLE gives it the console
# subsystem, as a console program's build has; otherwise it is a GUI program.
function(onefile_add_bootstrap target)
  cmake_parse_arguments(arg "CONSOLE;PROGRESS_WINDOW;REMOVE_OLD_VERSIONS" "PAYLOAD;OUTPUT;TEMPLATE;VERSION;NAME;CLOSE_THREADS" "DEPENDS" ${ARGN})
  set(extra "")
  if(arg_CONSOLE)
    list(APPEND extra --console)
  endif()
  if(arg_PROGRESS_WINDOW)
    list(APPEND extra --progress-window)
  endif()
  if(arg_REMOVE_OLD_VERSIONS)
    list(APPEND extra --remove-old-versions)
  endif()
  if(DEFINED arg_CLOSE_THREADS)
    list(APPEND extra --close-threads "${arg_CLOSE_THREADS}")
  endif()
  if(DEFINED arg_TEMPLATE)
    list(APPEND extra --template "${arg_TEMPLATE}")
  endif()
  if(DEFINED arg_VERSION)
    list(APPEND extra --version "${arg_VERSION}")
  endif()
  if(DEFINED arg_NAME)
    list(APPEND extra --name "${arg_NAME}")
  endif()
  add_custom_command(OUTPUT "${arg_OUTPUT}"
    COMMAND "${ONEFILE_PACK}" build --payload "${arg_PAYLOAD}" -o "${arg_OUTPUT}" --unchecked -q ${extra}
    DEPENDS "${arg_PAYLOAD}" "${ONEFILE_PACK}" ${arg_DEPENDS}
    COMMENT "Building ${arg_OUTPUT} around ${arg_PAYLOAD}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS "${arg_OUTPUT}")
endfunction()
