# What both MinGW-w64 toolchains share: posix threads, the cross tools and a
# private Wine prefix for the test binaries. The including file sets
# CMAKE_SYSTEM_PROCESSOR, TOOLCHAIN_PREFIX and VBROWSER_WINE_ARCH first.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows test binaries run under Wine in a private prefix inside the build tree,
# started by the loader that this machine can run (scripts/wine.sh).
# The comma form of the DLL override keeps the list free of semicolons.
get_filename_component(VBROWSER_WINE_COMMAND ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine.sh ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR
    /usr/bin/env WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEDEBUG=-all
    WINEDLLOVERRIDES=mscoree,mshtml= ${VBROWSER_WINE_COMMAND})
