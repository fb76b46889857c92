# What both Windows toolchains share; each sets QVX_MINGW_PREFIX and
# CMAKE_SYSTEM_PROCESSOR first. MinGW-w64 with the posix thread model, for
# std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${QVX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QVX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QVX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QVX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No MinGW runtime DLLs beside the programs: libgcc, libstdc++ and
# winpthread go into each executable.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# A Wine prefix of the build's own (made on first use), quiet, so tests never
# share the user's ~/.wine or its state; scripts/wine-run runs each program.
find_program(QVX_WINE wine)
set(QVX_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine)
if(QVX_WINE)
  get_filename_component(QVX_WINE_RUN ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run ABSOLUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QVX_WINE_RUN} --prefix ${QVX_WINE_PREFIX} --)
endif()
