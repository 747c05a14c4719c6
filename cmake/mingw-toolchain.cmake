# The toolchain users get with the CMake package, and for this project's own
# build the test programs run under Wine.
include(${CMAKE_CURRENT_LIST_DIR}/package/mingw-toolchain.cmake)

set(WINE_PREFIX "" CACHE PATH "Wine prefix that runs the Windows test programs")
set(CMAKE_CROSSCOMPILING_EMULATOR env WINEPREFIX=${WINE_PREFIX} WINEDEBUG=-all
    bash ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-emulator.sh)
