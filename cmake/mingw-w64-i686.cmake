# Cross-compiles for Windows x86 with MinGW-w64: the plug-in, for browsers
# that run it in a 32-bit process.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(QVX_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
