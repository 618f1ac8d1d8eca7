# Build conventions shared by every subsystem.
#
# Three configurations use the same sources:
#   host  - native Linux: pure libraries, build-time tools, host unit tests
#   win64 - x86_64 twin of the product; the only Windows code that can run
#           here (64-bit Wine), so every Windows test targets it
#   win32 - the i686 product itself, checked statically

set(ORVEK_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/..)
get_filename_component(ORVEK_SOURCE_DIR ${ORVEK_SOURCE_DIR} ABSOLUTE)

# The sanitize configuration: the host build under AddressSanitizer and
# UndefinedBehaviorSanitizer (any report ends the program, so a test fails),
# and with clang the fuzz targets, whose coverage instrumentation then covers
# every library they link.
option(ORVEK_SANITIZE "Build natively with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
set(ORVEK_FUZZ OFF)
if(ORVEK_SANITIZE AND NOT WIN32)
  set(sanitizers -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${sanitizers})
  add_link_options(${sanitizers})
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    set(ORVEK_FUZZ ON)
    add_compile_options(-fsanitize=fuzzer-no-link)
  endif()
endif()
set(ORVEK_FUZZ_SECONDS 3 CACHE STRING "How long ctest runs each fuzz target after its corpus")

set(ORVEK_RUNS_UNDER_WINE OFF)
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(ORVEK_RUNS_UNDER_WINE ON)
endif()

add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                    -Wno-missing-field-initializers)
if(ORVEK_WERROR)
  add_compile_options(-Werror)
endif()

if(WIN32)
  # Windows 7 is the oldest target: newer functions must not even be declared.
  add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 NTDDI_VERSION=0x06010000
                          UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN)
  # Self-contained: no libgcc, libstdc++ or winpthread DLL beside the program.
  add_link_options(-static -static-libgcc -static-libstdc++)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${ORVEK_SOURCE_DIR}/scripts/wine-env.sh run ${CMAKE_BINARY_DIR})
endif()

# Build-time tools (packing tool, PE checks, resource compressors) must run on
# the build machine even inside a cross build, so a cross build configures a
# native build of the same tree next to itself.
function(orvek_host_tools_project)
  if(NOT CMAKE_CROSSCOMPILING OR TARGET host_tools)
    return()
  endif()
  include(ExternalProject)
  set(dir ${CMAKE_BINARY_DIR}/host-tools)
  ExternalProject_Add(host_tools
    SOURCE_DIR ${ORVEK_SOURCE_DIR}
    BINARY_DIR ${dir}
    CMAKE_GENERATOR Ninja
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DORVEK_BUILD_TESTS=OFF
               -DORVEK_WERROR=${ORVEK_WERROR}
               -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    USES_TERMINAL_BUILD ON)
endfunction()

# Path of a native tool built by the host-tools project (or by this build, when
# it is itself native).  Usage: orvek_host_tool(VAR tools/pack orvek-pack)
function(orvek_host_tool var subdir name)
  if(CMAKE_CROSSCOMPILING)
    orvek_host_tools_project()
    set(${var} ${CMAKE_BINARY_DIR}/host-tools/${subdir}/${name} PARENT_SCOPE)
  else()
    set(${var} $<TARGET_FILE:${name}> PARENT_SCOPE)
  endif()
endfunction()

function(orvek_setup_googletest)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  # GCC 12 warns inside GoogleTest's own sources (-Wrestrict); not ours to fix.
  target_compile_options(gtest PRIVATE -Wno-error)
  target_compile_options(gtest_main PRIVATE -Wno-error)
endfunction()

# orvek_add_host_test(name SOURCES ... [LIBS ...]): a native unit test of pure code.
function(orvek_add_host_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  if(WIN32 OR NOT ORVEK_BUILD_TESTS)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
endfunction()

# orvek_add_fuzz_target(name SOURCES ... [LIBS ...]): a libFuzzer target
# <name>_fuzz, built in the sanitize configuration with clang. Its seed corpus
# is corpus/<name>/ beside the sources, and ctest runs it over that corpus and
# then for ORVEK_FUZZ_SECONDS; inputs it finds go to fuzz-found/<name>/ of the
# build folder, never into the sources, and a crashing one to fuzz-crashes/.
# scripts/fuzz.sh runs one for longer.
function(orvek_add_fuzz_target name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT ORVEK_FUZZ OR NOT ORVEK_BUILD_TESTS)
    return()
  endif()
  add_executable(${name}_fuzz ${T_SOURCES})
  target_link_libraries(${name}_fuzz PRIVATE ${T_LIBS})
  target_link_options(${name}_fuzz PRIVATE -fsanitize=fuzzer)
  list(GET T_SOURCES 0 first)
  get_filename_component(first ${first} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  get_filename_component(beside ${first} DIRECTORY)
  set(found ${CMAKE_BINARY_DIR}/fuzz-found/${name})
  file(MAKE_DIRECTORY ${found} ${CMAKE_BINARY_DIR}/fuzz-crashes)
  add_test(NAME ${name}_fuzz
           COMMAND ${name}_fuzz -max_total_time=${ORVEK_FUZZ_SECONDS} -timeout=10 -rss_limit_mb=2048
                   -print_final_stats=1 -artifact_prefix=${CMAKE_BINARY_DIR}/fuzz-crashes/${name}-
                   ${found} ${beside}/corpus/${name})
  set_tests_properties(${name}_fuzz PROPERTIES TIMEOUT 120 LABELS fuzz)
endfunction()

# orvek_add_win_test(name SOURCES ... [LIBS ...] [GUI]): a Windows test, run
# under Wine through the harness; GUI tests get the harness's X display.
function(orvek_add_win_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT ORVEK_RUNS_UNDER_WINE OR NOT ORVEK_BUILD_TESTS)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT ${T_TIMEOUT})
endfunction()

# The persistent Wine environment every Windows test shares: started once
# before the first test, stopped after the last.
function(orvek_add_wine_fixture)
  set(harness ${ORVEK_SOURCE_DIR}/scripts/wine-env.sh)
  add_test(NAME wine_start COMMAND ${harness} start ${CMAKE_BINARY_DIR})
  add_test(NAME wine_stop COMMAND ${harness} stop ${CMAKE_BINARY_DIR})
  set_tests_properties(wine_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 180)
  set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine)
endfunction()

# PE layout post-processing of the product (optional until it lands).
include(OrvekPe OPTIONAL)
