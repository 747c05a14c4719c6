# The tool's layers, one static library per folder of tools/ (the `tool` lines
# of bootstrap-layers.txt, bottom first), drawn here top down:
#
#   onefile-pack  the command line                           (onefile_tool_onefile_pack)
#   executable    the stub's image, what the main program
#                 gives, the finished executable             (onefile_tool_executable)
#   payload-io    the payload written and read: folder walk,
#                 names, encoding, compressor, locator       (onefile_tool_payload_io)
#   pe-image      PE headers, sections and resources, each
#                 format read and written in one place       (onefile_tool_pe_image)
#   host          the host's services                        (onefile_tool_host)
#
# As with the bootstrap's layers, a library compiles against an include root of
# its own that holds only a link to its folder, and sees the folders below it
# through the libraries it links: an include that runs back up names a header
# that is not there, and does not build. Every layer also sees the headers it
# shares with the bootstrap (the `shared` lines), through a root holding links
# to those alone; the bootstrap's other headers are not there either.

set(ONEFILE_LAYERS_TABLE "${CMAKE_SOURCE_DIR}/cmake/bootstrap-layers.txt")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${ONEFILE_LAYERS_TABLE}")
file(STRINGS "${ONEFILE_LAYERS_TABLE}" tool_lines REGEX "^tool ")
string(REGEX REPLACE "tool " "" ONEFILE_TOOL_LAYERS "${tool_lines}")
file(STRINGS "${ONEFILE_LAYERS_TABLE}" shared_lines REGEX "^shared ")
string(REGEX REPLACE "shared " "" shared_files "${shared_lines}")
set(ONEFILE_SHARED_HEADERS ${shared_files})
list(FILTER ONEFILE_SHARED_HEADERS INCLUDE REGEX "\\.h$")
set(ONEFILE_SHARED_SOURCES ${shared_files})
list(FILTER ONEFILE_SHARED_SOURCES INCLUDE REGEX "\\.cpp$")
# The payload's shared sources go into every build of the tool (payload-io);
# the others are Windows code, which onefile-pack.exe takes where it needs
# it, through onefile_shared_source.
set(ONEFILE_SHARED_PAYLOAD_SOURCES ${ONEFILE_SHARED_SOURCES})
list(FILTER ONEFILE_SHARED_PAYLOAD_SOURCES INCLUDE REGEX "^payload/")
list(TRANSFORM ONEFILE_SHARED_PAYLOAD_SOURCES PREPEND "${CMAKE_SOURCE_DIR}/")

# onefile_shared_source(<variable> <file>): the path of a source of the
# bootstrap's folders that the tool compiles; only a shared one is given.
function(onefile_shared_source out file)
  if(NOT file IN_LIST ONEFILE_SHARED_SOURCES)
    message(FATAL_ERROR "${file} is compiled into the tool but not shared in ${ONEFILE_LAYERS_TABLE}")
  endif()
  set(${out} "${CMAKE_SOURCE_DIR}/${file}" PARENT_SCOPE)
endfunction()

# The root that holds the shared headers and nothing else.
set(ONEFILE_SHARED_ROOT "${CMAKE_BINARY_DIR}/shared-headers")
foreach(header IN LISTS ONEFILE_SHARED_HEADERS)
  get_filename_component(folder "${header}" DIRECTORY)
  file(MAKE_DIRECTORY "${ONEFILE_SHARED_ROOT}/${folder}")
  file(CREATE_LINK "${CMAKE_SOURCE_DIR}/${header}" "${ONEFILE_SHARED_ROOT}/${header}" SYMBOLIC)
endforeach()

# onefile_tool_layer(<folder> <sources...>): the folder's library, linking
# every tool layer below it in the table.
function(onefile_tool_layer folder)
  list(FIND ONEFILE_TOOL_LAYERS "${folder}" level)
  if(level LESS 0)
    message(FATAL_ERROR "tools/${folder} is not a tool layer of ${ONEFILE_LAYERS_TABLE}")
  endif()
  set(root "${CMAKE_BINARY_DIR}/tool-layers/${folder}")
  file(MAKE_DIRECTORY "${root}")
  file(CREATE_LINK "${CMAKE_SOURCE_DIR}/tools/${folder}" "${root}/${folder}" SYMBOLIC)
  onefile_tool_library_name(library "${folder}")
  add_library(${library} STATIC ${ARGN})
  target_include_directories(${library} PUBLIC "${root}" "${ONEFILE_SHARED_ROOT}")
  target_compile_options(${library} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${ONEFILE_HOST_WARNINGS}>)
  if(level GREATER 0)
    list(SUBLIST ONEFILE_TOOL_LAYERS 0 ${level} lower)
    list(REVERSE lower)
    foreach(lower_folder IN LISTS lower)
      onefile_tool_library_name(lower_library "${lower_folder}")
      target_link_libraries(${library} PUBLIC ${lower_library})
    endforeach()
  endif()
endfunction()

# onefile_tool_<folder>, the folder's name made an identifier.
function(onefile_tool_library_name out folder)
  string(MAKE_C_IDENTIFIER "onefile_tool_${folder}" name)
  set(${out} "${name}" PARENT_SCOPE)
endfunction()
