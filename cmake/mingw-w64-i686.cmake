# Cross-compiles the 32-bit Windows programs that ship, with MinGW-w64
# (static runtime); their tests run in a 32-bit Wine prefix, as on a 32-bit
# Windows 7.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
set(VBROWSER_WINE_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
