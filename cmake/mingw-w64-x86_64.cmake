# Cross build for 64-bit Windows with MinGW-w64 (the posix thread model, which GoogleTest needs),
# linked statically so the program runs on a bare Windows. Programs built here run under Wine, with a
# private Wine prefix under the build directory and Wine's own diagnostics silenced.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(M2S_WINE NAMES wine64 wine PATHS /usr/lib/wine)
if(M2S_WINE)
  set(M2S_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "Wine prefix the tests run in")
  set(CMAKE_CROSSCOMPILING_EMULATOR
    env WINEPREFIX=${M2S_WINEPREFIX} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= ${M2S_WINE})
endif()
