# Shared build rules: warnings, sanitizers, and one-line helpers for tests,
# fuzz targets and benchmarks so that each folder's CMakeLists stays short.

find_package(Threads REQUIRED)

set(HARROW_WARNINGS -Wall -Wextra -Wno-unused-parameter)

if(HARROW_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(HARROW_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "HARROW_FUZZ needs clang")
  endif()
  # Coverage instrumentation everywhere; only the fuzz drivers link libFuzzer.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# harrow_library(<name> [SHARED|STATIC] LIBS <deps...>)
# Sources are src/*.cpp and src/*.c; public headers are include/.
function(harrow_library name)
  cmake_parse_arguments(A "SHARED;STATIC" "" "LIBS;PRIVATE_LIBS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/*.cpp
                                   ${CMAKE_CURRENT_SOURCE_DIR}/src/*.c)
  if(A_STATIC)
    add_library(${name} STATIC ${srcs})
  else()
    add_library(${name} SHARED ${srcs})
  endif()
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include
                                     PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src)
  target_compile_options(${name} PRIVATE ${HARROW_WARNINGS})
  target_link_libraries(${name} PUBLIC ${A_LIBS} PRIVATE ${A_PRIVATE_LIBS} Threads::Threads)
endfunction()

# harrow_tests(<prefix> LIBS <deps...> [LABELS <labels...>] [DIR <dir>])
# Every <dir>/*_test.cpp (default tests/) becomes its own GoogleTest
# program <prefix>_<file>; its tests are registered with CTest one by one
# so that ctest -j spreads them over all cores.
find_package(GTest REQUIRED)
include(GoogleTest)
function(harrow_tests prefix)
  cmake_parse_arguments(A "" "DIR;TIMEOUT" "LIBS;LABELS;SOURCES" ${ARGN})
  if(NOT A_DIR)
    set(A_DIR tests)
  endif()
  if(NOT A_LABELS)
    set(A_LABELS unit)
  endif()
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 300)
  endif()
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${A_DIR}/*_test.cpp)
  foreach(t IN LISTS tests)
    get_filename_component(base ${t} NAME_WE)
    set(exe ${prefix}_${base})
    add_executable(${exe} ${t} ${A_SOURCES})
    target_compile_options(${exe} PRIVATE ${HARROW_WARNINGS})
    target_include_directories(${exe} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/${A_DIR}
                                              ${CMAKE_CURRENT_SOURCE_DIR}/src)
    target_link_libraries(${exe} PRIVATE ${A_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
    set_target_properties(${exe} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    gtest_discover_tests(${exe} DISCOVERY_MODE PRE_TEST TEST_PREFIX ${prefix}.
      PROPERTIES LABELS "${A_LABELS}" TIMEOUT ${A_TIMEOUT}
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  endforeach()
endfunction()

# harrow_fuzzer(<name> SOURCES <files...> LIBS <deps...>)
# Built only with HARROW_FUZZ; the driver lands in <build>/fuzzers/ and
# its seed corpus, when present, is fuzz/corpus/<name>/ beside it.
function(harrow_fuzzer name)
  if(NOT HARROW_FUZZ)
    return()
  endif()
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzzers)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/corpus/${name})
    file(WRITE ${CMAKE_BINARY_DIR}/fuzzers/${name}.corpus ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/corpus/${name})
  endif()
endfunction()

# harrow_bench(<name> SOURCES <files...> LIBS <deps...>)
# A Google Benchmark program in <build>/bench/; CTest runs it once briefly
# (label "bench") to prove that it works, never to judge its speed.
function(harrow_bench name)
  if(NOT HARROW_BENCH OR HARROW_SANITIZE OR HARROW_FUZZ)
    return()
  endif()
  find_package(benchmark REQUIRED)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_compile_options(${name} PRIVATE ${HARROW_WARNINGS})
  target_link_libraries(${name} PRIVATE ${A_LIBS} benchmark::benchmark Threads::Threads)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  add_test(NAME bench.${name} COMMAND ${name} --benchmark_min_time=0.01)
  set_tests_properties(bench.${name} PROPERTIES LABELS bench TIMEOUT 600)
endfunction()
