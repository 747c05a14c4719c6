# SPDX-License-Identifier: Apache-2.0 WITH LLVM-exception
# find_package(onefile): the packer onefile-pack, installed beside this file's
# prefix, and onefile_add_executable(), which packs an application folder into
# one Windows executable as a step of the build.
#
#   onefile_add_executable(<target> APP_DIR <dir> MAIN <file.exe>
#                          [OUTPUT <file.exe>] [DEPENDS <targets or files...>]
#                          [<build option> <value>...] [<build flag>...]
#                          [EXCLUDE <patterns...>] [EXTRA_ARGS <arguments...>])
#   onefile_add_executable(<target> PAYLOAD <file> ...)
#
# Every option of onefile-pack build has a keyword: its name in capitals with
# '_' for '-' (--frame-size is FRAME_SIZE, --sign-pkcs12 SIGN_PKCS12), one
# EXCLUDE for every pattern; EXTRA_ARGS passes arguments as they are, for an
# option this function does not know yet. The executable is <NAME or
# target>.exe in the current binary folder unless OUTPUT names it. It is
# packed again whenever a file of APP_DIR changes or a file is added or
# removed there, or a file an option names changes; DEPENDS names the targets
# that fill APP_DIR.
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
  # onefile-pack build's options, by the keyword that gives each.
  set(value_options NAME VERSION ICON TEMPLATE COMPANY DESCRIPTION PRODUCT COPYRIGHT LEVEL THREADS FRAME_SIZE
      CACHE_FOLDER_LENGTH CLOSE_THREADS EXECUTION_LEVEL SIGN_PKCS12 SIGN_CERT SIGN_KEY SIGN_PASSWORD_ENV
      SIGN_DESCRIPTION SIGN_URL TIMESTAMP SIGN_PKCS11_MODULE SIGN_COMMAND)
  set(flag_options CONSOLE WINDOWS PROGRESS_WINDOW REMOVE_OLD_VERSIONS NO_LINKS_BETWEEN_VERSIONS)
  # Those naming a file of the project: taken relative to the calling folder,
  # and packed again when the file changes.
  set(file_options ICON SIGN_PKCS12 SIGN_CERT SIGN_KEY PAYLOAD)
  cmake_parse_arguments(PARSE_ARGV 1 arg "${flag_options}" "APP_DIR;MAIN;PAYLOAD;OUTPUT;${value_options}"
    "DEPENDS;EXCLUDE;EXTRA_ARGS")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "onefile_add_executable(${target}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(arg_PAYLOAD AND (arg_APP_DIR OR arg_MAIN OR arg_EXCLUDE))
    message(FATAL_ERROR "onefile_add_executable(${target}): PAYLOAD takes the place of APP_DIR, MAIN and EXCLUDE")
  endif()
  if(NOT arg_PAYLOAD)
    foreach(required APP_DIR MAIN)
      if(NOT arg_${required})
        message(FATAL_ERROR "onefile_add_executable(${target}): ${required} is required (or PAYLOAD)")
      endif()
    endforeach()
  endif()
  # Found through this file's own place, whichever folder of the project calls.
  set(step_script "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/onefile-pack-step.cmake")
  _onefile_packer_path(pack)
  set(name "${target}")
  if(arg_NAME)
    set(name "${arg_NAME}")
  endif()
  set(arg_NAME "${name}")
  if(arg_OUTPUT)
    get_filename_component(output "${arg_OUTPUT}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  else()
    set(output "${CMAKE_CURRENT_BINARY_DIR}/${name}.exe")
  endif()
  set(depends "")
  foreach(option IN LISTS file_options)
    if(arg_${option})
      get_filename_component(arg_${option} "${arg_${option}}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
      list(APPEND depends "${arg_${option}}")
    endif()
  endforeach()

  # Everything the step needs goes into a settings file, quoted as CMake text,
  # so that no value is split or rewritten on a command line (a name may hold
  # spaces or quotes). It is rewritten only when a setting changes, which then
  # packs again.
  if(arg_PAYLOAD)
    set(app_dir "")
    set(arguments " --payload [==[${arg_PAYLOAD}]==]")
  else()
    get_filename_component(app_dir "${arg_APP_DIR}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    set(arguments " [==[${app_dir}]==] --main [==[${arg_MAIN}]==]")
  endif()
  foreach(option IN LISTS value_options flag_options)
    string(TOLOWER "--${option}" flag)
    string(REPLACE "_" "-" flag "${flag}")
    if(option IN_LIST flag_options)
      if(arg_${option})
        string(APPEND arguments " ${flag}")
      endif()
    elseif(DEFINED arg_${option})
      string(APPEND arguments " ${flag} [==[${arg_${option}}]==]")
    endif()
  endforeach()
  foreach(pattern IN LISTS arg_EXCLUDE)
    string(APPEND arguments " --exclude [==[${pattern}]==]")
  endforeach()
  foreach(argument IN LISTS arg_EXTRA_ARGS)
    string(APPEND arguments " [==[${argument}]==]")
  endforeach()
  set(settings_text "")
  foreach(setting IN ITEMS pack app_dir output)
    string(APPEND settings_text "set(${setting} [==[${${setting}}]==])\n")
  endforeach()
  string(APPEND settings_text "set(arguments${arguments})\n")
  set(settings "${CMAKE_CURRENT_BINARY_DIR}/${target}.onefile-settings.cmake")
  file(WRITE "${settings}.new" "${settings_text}")
  configure_file("${settings}.new" "${settings}" COPYONLY)
  file(REMOVE "${settings}.new")

  # The step writes a depfile naming every file and folder it packed, so the
  # executable is packed again when one changes or a file comes or goes.
  set(depfile "${CMAKE_CURRENT_BINARY_DIR}/${target}.onefile.d")
  add_custom_command(OUTPUT "${output}"
    COMMAND "${CMAKE_COMMAND}" "-DSETTINGS=${settings}" "-DDEPFILE=${depfile}" -P "${step_script}"
    DEPENDS "${pack}" "${step_script}" "${settings}" ${depends} ${arg_DEPENDS}
    DEPFILE "${depfile}"
    COMMENT "Packing ${app_dir}${arg_PAYLOAD} into ${output}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS "${output}")
  set_target_properties(${target} PROPERTIES ONEFILE_OUTPUT "${output}")
endfunction()
