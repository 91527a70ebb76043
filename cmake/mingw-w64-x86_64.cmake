# Cross-compiles the 64-bit Windows programs with MinGW-w64 (static runtime);
# their tests run in a 64-bit Wine prefix.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
set(VBROWSER_WINE_ARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
