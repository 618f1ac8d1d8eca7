# Installer-file format tests (included from CMakeLists.txt).
#
# Host: the codec, the PE helpers, the layout step and the packing tool, on
# programs freshly linked by the mingw cross linkers (real linker output, not
# hand-made images) and on archives made by the 7z tool.
# Win64: the installer's reader under Wine, packed and signed installer
# files, and the packed product starting.

if(NOT WIN32)
  orvek_add_host_test(payload_format_test
    SOURCES installer_file_layout_test.cpp
    LIBS orvek_payload_format)

  find_program(ORVEK_MINGW64_CC x86_64-w64-mingw32-gcc)
  find_program(ORVEK_MINGW32_CC i686-w64-mingw32-gcc)
  find_program(ORVEK_MINGW64_WINDRES x86_64-w64-mingw32-windres)
  find_program(ORVEK_7Z 7z)
  if(NOT ORVEK_MINGW64_CC OR NOT ORVEK_MINGW32_CC OR NOT ORVEK_MINGW64_WINDRES OR NOT ORVEK_7Z)
    message(STATUS "payload: mingw or 7z missing, PE tool tests skipped")
    return()
  endif()

  set(src ${CMAKE_CURRENT_SOURCE_DIR}/samples)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/samples)
  file(MAKE_DIRECTORY ${out})
  foreach(manifest admin common_controls dpi_aware)
    add_custom_command(OUTPUT ${out}/${manifest}.res.o
      COMMAND ${ORVEK_MINGW64_WINDRES} -I ${src} ${src}/${manifest}.rc -O coff -o ${out}/${manifest}.res.o
      DEPENDS ${src}/${manifest}.rc ${src}/${manifest}.manifest VERBATIM)
  endforeach()
  # name | compiler | manifest resource | compile and link options
  set(samples
    "linked|${ORVEK_MINGW64_CC}|admin|-s"
    "linked32|${ORVEK_MINGW32_CC}||-s"
    "symbols|${ORVEK_MINGW64_CC}|admin|-Wl,--strip-debug"
    "debug|${ORVEK_MINGW64_CC}|admin|"
    "dpi_aware|${ORVEK_MINGW64_CC}|dpi_aware|-s"
    "common_controls|${ORVEK_MINGW64_CC}|common_controls|-s -DCOMMON_CONTROLS -lcomctl32"
    "common_controls_bare|${ORVEK_MINGW64_CC}|admin|-s -DCOMMON_CONTROLS -lcomctl32")
  set(sample_files)
  foreach(sample ${samples})
    string(REPLACE "|" ";" fields "${sample}")
    list(GET fields 0 name)
    list(GET fields 1 cc)
    list(GET fields 2 res)
    list(GET fields 3 link)
    separate_arguments(link UNIX_COMMAND "${link}")
    set(res_object)
    if(res)
      set(res_object ${out}/${res}.res.o)
    endif()
    add_custom_command(OUTPUT ${out}/${name}.exe
      COMMAND ${cc} -O2 -mwindows ${src}/sample_program.c ${res_object} ${link} -o ${out}/${name}.exe
      DEPENDS ${src}/sample_program.c ${res_object} VERBATIM)
    list(APPEND sample_files ${out}/${name}.exe)
  endforeach()
  add_custom_target(payload_samples DEPENDS ${sample_files})

  orvek_add_host_test(payload_tools_test
    SOURCES pe_image_test.cpp installer_image_test.cpp pe_checks_test.cpp pack_tool_test.cpp
            tool_test_files.cpp
    LIBS orvek_pe_tools orvek_pack)
  if(TARGET payload_tools_test)
    add_dependencies(payload_tools_test payload_samples orvek-pack orvek-pe-layout)
    target_compile_definitions(payload_tools_test PRIVATE
      ORVEK_SAMPLES_DIR="${out}"
      ORVEK_PACK_TOOL="$<TARGET_FILE:orvek-pack>"
      ORVEK_PE_LAYOUT_TOOL="$<TARGET_FILE:orvek-pe-layout>"
      ORVEK_7Z_TOOL="${ORVEK_7Z}")
  endif()
  return()
endif()

if(NOT ORVEK_RUNS_UNDER_WINE OR NOT ORVEK_BUILD_TESTS)
  return()
endif()

# A stand-in installer, laid out like the product, and installer files the
# build packs from it and from the product with the real packing tool.
add_executable(installer_probe installer_probe.cpp)
target_link_libraries(installer_probe PRIVATE orvek_payload orvek_system)
target_link_options(installer_probe PRIVATE -municode)
orvek_fixup_pe_layout(installer_probe)

orvek_host_tool(pack_tool tools/pack orvek-pack)
orvek_host_tool(pe_check_tool tools/pe orvek-pe-check)
set(archive ${CMAKE_CURRENT_BINARY_DIR}/test-payload.7z)
add_custom_command(OUTPUT ${archive}
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/make_test_archive.sh ${archive} OrvekTest
  DEPENDS make_test_archive.sh VERBATIM)

set(packed_probe ${CMAKE_CURRENT_BINARY_DIR}/packed-probe.exe)
add_custom_command(OUTPUT ${packed_probe}
  COMMAND ${pack_tool} --exe $<TARGET_FILE:installer_probe> --version v6.15.1 --archive ${archive}
          -o ${packed_probe}
  DEPENDS installer_probe host_tools ${archive} VERBATIM)
set(packed_files ${packed_probe})
set(packed_setup)
if(TARGET orvek_setup)
  set(packed_setup ${CMAKE_CURRENT_BINARY_DIR}/orvek-setup-packed.exe)
  add_custom_command(OUTPUT ${packed_setup}
    COMMAND ${pack_tool} --exe $<TARGET_FILE:orvek_setup> --version v6.15.1 --archive ${archive}
            -o ${packed_setup}
    DEPENDS orvek_setup host_tools ${archive} VERBATIM)
  list(APPEND packed_files ${packed_setup})
endif()
add_custom_target(payload_packed_installers ALL DEPENDS ${packed_files})

orvek_add_win_test(payload_installer_file_test
  SOURCES installer_file_test.cpp
  LIBS orvek_payload orvek_test_support)
add_dependencies(payload_installer_file_test payload_packed_installers)
target_compile_definitions(payload_installer_file_test PRIVATE
  ORVEK_PACKED_PROBE="${packed_probe}"
  ORVEK_PROBE_IMAGE="$<TARGET_FILE:installer_probe>"
  ORVEK_TEST_ARCHIVE="${archive}")
if(packed_setup)
  target_compile_definitions(payload_installer_file_test PRIVATE ORVEK_PACKED_SETUP="${packed_setup}")
endif()

# The packed files as the host tools see them: the 7z signature exactly at
# the stored offset, and the stored CheckSum that of the whole file.
add_test(NAME payload_packed_probe_layout
  COMMAND ${pe_check_tool} --packed-layout --checksum ${packed_probe})
if(packed_setup)
  add_test(NAME payload_packed_setup_layout
    COMMAND ${pe_check_tool} --packed-layout --checksum --gui --admin-manifest ${packed_setup})
endif()

add_test(NAME payload_signed_installer
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/signed_installer_test.sh ${ORVEK_SOURCE_DIR}/scripts/wine-env.sh
          ${CMAKE_BINARY_DIR} ${pe_check_tool} ${packed_probe} ${archive})
set_tests_properties(payload_signed_installer PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 120)
