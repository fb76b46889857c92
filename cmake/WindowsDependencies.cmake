# What the Windows build takes from elsewhere. GoogleTest is built from
# Debian's sources with the cross compiler (there is no MinGW package of it).
set(QVX_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest's sources")
if(NOT EXISTS ${QVX_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest's sources are missing (scripts/install-deps --windows)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${QVX_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# The rest serves the service, which the x86 build leaves out.
if(QVX_WINDOWS_X86)
  return()
endif()

# OpenSSL: static libraries cross-built once per build directory from
# Debian's source package (scripts/build-openssl-windows), then found as
# usual.
set(QVX_OPENSSL_WINDOWS_DIR ${CMAKE_BINARY_DIR}/openssl CACHE PATH "OpenSSL built for Windows")
if(NOT EXISTS ${QVX_OPENSSL_WINDOWS_DIR}/lib/libssl.a)
  message(STATUS "Building OpenSSL for Windows into ${QVX_OPENSSL_WINDOWS_DIR}")
  execute_process(
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/../scripts/build-openssl-windows ${QVX_OPENSSL_WINDOWS_DIR}
    RESULT_VARIABLE qvx_openssl_result)
  if(NOT qvx_openssl_result EQUAL 0)
    message(FATAL_ERROR "OpenSSL for Windows did not build (scripts/build-openssl-windows)")
  endif()
endif()
set(OPENSSL_ROOT_DIR ${QVX_OPENSSL_WINDOWS_DIR})
set(OPENSSL_USE_STATIC_LIBS TRUE)
list(APPEND CMAKE_FIND_ROOT_PATH ${QVX_OPENSSL_WINDOWS_DIR})
find_package(OpenSSL REQUIRED)
# The static libcrypto needs the Windows libraries it calls.
set_property(TARGET OpenSSL::Crypto APPEND PROPERTY INTERFACE_LINK_LIBRARIES ws2_32 crypt32 bcrypt)

# Boost.Asio and WebSocket++ are header-only and portable; Debian's copies
# serve MinGW too. They come in through a folder of their own, not through
# /usr/include, whose C library headers must never shadow MinGW's.
set(QVX_THIRD_PARTY_INCLUDE ${CMAKE_BINARY_DIR}/third-party/include)
file(MAKE_DIRECTORY ${QVX_THIRD_PARTY_INCLUDE})
foreach(dir boost websocketpp)
  if(NOT EXISTS /usr/include/${dir})
    message(FATAL_ERROR "/usr/include/${dir} is missing (scripts/install-deps --windows)")
  endif()
  file(CREATE_LINK /usr/include/${dir} ${QVX_THIRD_PARTY_INCLUDE}/${dir} SYMBOLIC)
endforeach()
set(Boost_INCLUDE_DIRS ${QVX_THIRD_PARTY_INCLUDE})
set(WEBSOCKETPP_INCLUDE_DIR ${QVX_THIRD_PARTY_INCLUDE} CACHE PATH "WebSocket++ headers")
# Boost.System is header-only; Asio needs Winsock and the extensions of mswsock.
add_library(Boost::system INTERFACE IMPORTED)
set_target_properties(Boost::system PROPERTIES
  INTERFACE_COMPILE_DEFINITIONS "BOOST_ALL_NO_LIB"
  INTERFACE_LINK_LIBRARIES "ws2_32;mswsock")
add_library(Boost::thread INTERFACE IMPORTED)
set_target_properties(Boost::thread PROPERTIES INTERFACE_LINK_LIBRARIES "Boost::system")
set(Boost_FOUND TRUE)
