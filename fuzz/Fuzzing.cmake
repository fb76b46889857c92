# Fuzz targets. Every build gets each target with the self-driven runner
# (fuzz/FuzzMain.cpp), and `make test` runs a short pass of it (under the
# sanitizers in the sanitizer build). With QVX_FUZZ (clang; `make fuzz`) the
# whole tree is built for libFuzzer with AddressSanitizer and UBSan, and the
# targets are libFuzzer programs; fuzz-targets.txt lists them for
# scripts/fuzz.
option(QVX_FUZZ "Build the fuzz targets for libFuzzer (clang) with ASan and UBSan" OFF)

set(QVX_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})
set(QVX_FUZZ_LIST ${CMAKE_BINARY_DIR}/fuzz-targets.txt)
file(WRITE ${QVX_FUZZ_LIST} "")
set(QVX_FUZZ_LIBFUZZER OFF)

if(QVX_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "QVX_FUZZ needs clang (libFuzzer)")
  endif()
  include(CheckCXXSourceCompiles)
  set(CMAKE_REQUIRED_FLAGS "-fsanitize=fuzzer")
  check_cxx_source_compiles(
    "#include <cstddef>
     #include <cstdint>
     extern \"C\" int LLVMFuzzerTestOneInput(const std::uint8_t*, std::size_t) { return 0; }"
    QVX_HAVE_LIBFUZZER)
  unset(CMAKE_REQUIRED_FLAGS)
  set(QVX_FUZZ_LIBFUZZER ${QVX_HAVE_LIBFUZZER})
  # Coverage for libFuzzer in every library the targets link; without
  # libFuzzer the runner drives them under the sanitizers all the same.
  if(QVX_FUZZ_LIBFUZZER)
    add_compile_options(-fsanitize=fuzzer-no-link)
  endif()
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
add_custom_target(fuzz-targets)

# qvx_add_fuzz_target(NAME SECONDS s SOURCES ... [LIBRARIES ...])
# SECONDS: the length of the short pass `make test` runs.
function(qvx_add_fuzz_target name)
  cmake_parse_arguments(FUZZ "" "SECONDS" "SOURCES;LIBRARIES" ${ARGN})
  if(QVX_FUZZ_LIBFUZZER)
    add_executable(${name} ${FUZZ_SOURCES} ${QVX_FUZZ_DIR}/SeedCorpus.cpp)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    set(kind libfuzzer)
  else()
    add_executable(${name} ${FUZZ_SOURCES} ${QVX_FUZZ_DIR}/FuzzMain.cpp)
    set(kind runner)
  endif()
  target_include_directories(${name} PRIVATE ${QVX_FUZZ_DIR})
  target_link_libraries(${name} PRIVATE ${FUZZ_LIBRARIES})
  add_dependencies(fuzz-targets ${name})
  file(APPEND ${QVX_FUZZ_LIST} "${name} ${CMAKE_CURRENT_BINARY_DIR}/${name} ${kind}\n")
  if(NOT QVX_FUZZ_LIBFUZZER)
    add_test(NAME ${name}-short COMMAND ${name} ${FUZZ_SECONDS})
    set_tests_properties(${name}-short PROPERTIES LABELS "unit;fuzz" TIMEOUT 120)
  endif()
endfunction()
