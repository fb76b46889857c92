# What the Windows build takes from elsewhere. GoogleTest is built from
# Debian's sources with the cross compiler (there is no MinGW package of it).
set(QVX_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest's sources")
if(NOT EXISTS ${QVX_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest's sources are missing (scripts/install-deps --windows)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${QVX_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
