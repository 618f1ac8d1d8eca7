# Build conventions shared by every subsystem.
#
# Three configurations use the same sources:
#   host  - native Linux: pure libraries, build-time tools, host unit tests
#   win64 - x86_64 twin of the product; the only Windows code that can run
#           here (64-bit Wine), so every Windows test targets it
#   win32 - the i686 product itself, checked statically

set(ORVEK_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/..)
get_filename_component(ORVEK_SOURCE_DIR ${ORVEK_SOURCE_DIR} ABSOLUTE)

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
