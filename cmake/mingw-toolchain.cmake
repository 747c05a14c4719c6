# Cross-compiling for 64-bit Windows with mingw-w64 (win32 thread model,
# msvcrt runtime); test programs run under Wine.
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

set(WINE_PREFIX "" CACHE PATH "Wine prefix that runs the Windows test programs")
set(CMAKE_CROSSCOMPILING_EMULATOR env WINEPREFIX=${WINE_PREFIX} WINEDEBUG=-all
    bash ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-emulator.sh)
