# SPDX-License-Identifier: Apache-2.0 WITH LLVM-exception
# find_package(onefile): the packer onefile-pack, installed beside this file's
# prefix, and onefile_add_executable(), which packs an application folder into
# one Windows executable as a step of the build.
#
#   onefile_add_executable(<target> APP_DIR <dir> MAIN <file.exe>
#                          [NAME <name>] [VERSION <x.y.z>] [ICON <file.ico>]
#                          [TEMPLATE <path template>] [COMPANY <text>]
#                          [DESCRIPTION <text>] [PRODUCT <text>]
#                          [COPYRIGHT <text>] [LEVEL <1-22>]
#                          [OUTPUT <file.exe>] [DEPENDS <targets or files...>])
#
# The executable is <NAME or target>.exe in the current binary folder unless
# OUTPUT names it. It is packed again whenever a file of APP_DIR changes or a
# file is added or removed there; DEPENDS names the targets that fill APP_DIR.
cmake_minimum_required(VERSION 3.20)

# The packer, installed in bin/ of the prefix that holds lib/cmake/onefile.
function(_onefile_packer_path out)
  set(name onefile-pack)
  if(CMAKE_HOST_WIN32)
    set(name onefile-pack.exe)
  endif()
  get_filename_component(path "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../../../bin/${name}" ABSOLUTE)
  set(${out} "${path}" PARENT_SCOPE)
endfunction()

_onefile_packer_path(ONEFILE_PACK)
if(NOT EXISTS "${ONEFILE_PACK}")
  set(onefile_FOUND FALSE)
  set(onefile_NOT_FOUND_MESSAGE "onefile-pack is missing: ${ONEFILE_PACK}")
  return()
endif()
if(NOT TARGET onefile::pack)
  add_executable(onefile::pack IMPORTED)
  set_target_properties(onefile::pack PROPERTIES IMPORTED_LOCATION "${ONEFILE_PACK}")
endif()

function(onefile_add_executable target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "APP_DIR;MAIN;NAME;VERSION;ICON;TEMPLATE;COMPANY;DESCRIPTION;PRODUCT;COPYRIGHT;LEVEL;OUTPUT" "DEPENDS")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "onefile_add_executable(${target}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  foreach(required APP_DIR MAIN)
    if(NOT arg_${required})
      message(FATAL_ERROR "onefile_add_executable(${target}): ${required} is required")
    endif()
  endforeach()
  # Found through this file's own place, whichever folder of the project calls.
  set(step_script "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/onefile-pack-step.cmake")
  _onefile_packer_path(pack)
  get_filename_component(app_dir "${arg_APP_DIR}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  set(name "${target}")
  if(arg_NAME)
    set(name "${arg_NAME}")
  endif()
  if(arg_OUTPUT)
    get_filename_component(output "${arg_OUTPUT}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  else()
    set(output "${CMAKE_CURRENT_BINARY_DIR}/${name}.exe")
  endif()

  # Everything the step needs goes into a settings file, quoted as CMake text,
  # so that no value is split or rewritten on a command line (a name may hold
  # ';' or quotes). It is rewritten only when a setting changes, which then
  # packs again.
  set(settings_text "")
  foreach(setting IN ITEMS pack app_dir arg_MAIN output)
    string(APPEND settings_text "set(${setting} [==[${${setting}}]==])\n")
  endforeach()
  string(APPEND settings_text "set(options --name [==[${name}]==]")
  foreach(option IN ITEMS VERSION TEMPLATE COMPANY DESCRIPTION PRODUCT COPYRIGHT LEVEL)
    if(DEFINED arg_${option})
      string(TOLOWER "${option}" flag)
      string(APPEND settings_text " --${flag} [==[${arg_${option}}]==]")
    endif()
  endforeach()
  set(depends "")
  if(arg_ICON)
    get_filename_component(icon "${arg_ICON}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    string(APPEND settings_text " --icon [==[${icon}]==]")
    list(APPEND depends "${icon}")
  endif()
  string(APPEND settings_text ")\n")
  set(settings "${CMAKE_CURRENT_BINARY_DIR}/${target}.onefile-settings.cmake")
  file(WRITE "${settings}.new" "${settings_text}")
  configure_file("${settings}.new" "${settings}" COPYONLY)

  # The step writes a depfile naming every file and folder it packed, so the
  # executable is packed again when one changes or a file comes or goes.
  set(depfile "${CMAKE_CURRENT_BINARY_DIR}/${target}.onefile.d")
  add_custom_command(OUTPUT "${output}"
    COMMAND "${CMAKE_COMMAND}" "-DSETTINGS=${settings}" "-DDEPFILE=${depfile}" -P "${step_script}"
    DEPENDS "${pack}" "${step_script}" "${settings}" ${depends} ${arg_DEPENDS}
    DEPFILE "${depfile}"
    COMMENT "Packing ${app_dir} into ${output}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS "${output}")
  set_target_properties(${target} PROPERTIES ONEFILE_OUTPUT "${output}")
endfunction()
