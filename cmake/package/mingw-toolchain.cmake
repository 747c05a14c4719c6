# SPDX-License-Identifier: Apache-2.0 WITH LLVM-exception
# Cross-compiling for 64-bit Windows with mingw-w64 (win32 thread model,
# msvcrt runtime), as Debian's and Ubuntu's g++-mingw-w64-x86-64 packages
# install it: the toolchain the guide builds its examples with.
#
#   cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=<prefix>/lib/cmake/onefile/mingw-toolchain.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${MINGW_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER ${MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
