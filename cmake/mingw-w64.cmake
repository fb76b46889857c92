# Cross-compiles for Windows x64 with MinGW-w64. Tests run under Wine
# through the emulator.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QVX_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
