# SPDX-License-Identifier: MIT
# Shared build settings and the helpers that define Vigilon's targets.

# Warnings are errors in the project's presets and CI; a plain build (a
# packager's, another compiler's) only shows them.
option(VIGILON_WERROR "Treat compiler warnings as errors" OFF)

function(vigilon_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(VIGILON_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# The hardening a distribution's package build adds (Debian's dpkg-buildflags
# with hardening=+all): fortified library calls in optimised builds, a stack
# protector, and a read-only relocation table resolved at start. Flags the
# builder already gives are not given twice.
option(VIGILON_HARDENING "Build the programs hardened (fortify, stack protector, full RELRO)" ON)

function(vigilon_apply_hardening)
  if(NOT VIGILON_HARDENING OR WIN32 OR NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    return()
  endif()
  set(given "${CMAKE_CXX_FLAGS} ${CMAKE_C_FLAGS}")
  if(NOT given MATCHES "_FORTIFY_SOURCE")
    # Fortification needs the optimiser; a Debug build would only warn.
    add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
  endif()
  if(NOT given MATCHES "-fstack-protector")
    add_compile_options(-fstack-protector-strong)
  endif()
  if(NOT "${CMAKE_EXE_LINKER_FLAGS}" MATCHES "-z,now")
    add_link_options(LINKER:-z,relro LINKER:-z,now)
  endif()
endfunction()

# vigilon_library(name FOLDER dir [LIBS ...] [EXCLUDE regex])
# A static library of every .cpp in a folder (not its subfolders); the
# project's root is its include root.
function(vigilon_library name)
  cmake_parse_arguments(ARG "" "FOLDER;EXCLUDE" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${ARG_FOLDER}/*.cpp")
  if(ARG_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "${ARG_EXCLUDE}")
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}")
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  vigilon_warnings(${name})
endfunction()

# vigilon_platform_sources(target folder [INCLUDE])
# Adds the sources of folder/windows when building for Windows, of folder/posix
# otherwise. INCLUDE also puts that folder on the target's public include
# path, for headers that exist once per system under one name.
function(vigilon_platform_sources target folder)
  cmake_parse_arguments(ARG "INCLUDE" "" "" ${ARGN})
  if(WIN32)
    set(platform "${folder}/windows")
  else()
    set(platform "${folder}/posix")
  endif()
  file(GLOB sources CONFIGURE_DEPENDS "${platform}/*.cpp")
  target_sources(${target} PRIVATE ${sources})
  if(ARG_INCLUDE)
    target_include_directories(${target} PUBLIC "${platform}")
  endif()
endfunction()

# vigilon_gtest(name SOURCES ... LIBS ... [LABELS ...] [TIMEOUT s] [ENVIRONMENT ...])
function(vigilon_gtest name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  vigilon_warnings(${name})
  # Windows tests differ in the system's macros (UNICODE, NOMINMAX), which
  # one shared header cannot serve.
  if(TARGET vigilon_test_pch AND NOT WIN32)
    target_precompile_headers(${name} REUSE_FROM vigilon_test_pch)
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "core;${ARG_LABELS}"
    ENVIRONMENT "VIGILON_LANG=ja;VIGILON_TEST_BINARY_DIR=${CMAKE_BINARY_DIR};VIGILON_SOURCE_DIR=${PROJECT_SOURCE_DIR};${ARG_ENVIRONMENT}")
endfunction()

# vigilon_qttest(name SOURCES ... LIBS ... [LABELS ...] [TIMEOUT s] [XVFB])
# A Qt Test executable, run on the offscreen platform unless XVFB is given,
# in which case the test starts its own X server.
function(vigilon_qttest name)
  cmake_parse_arguments(ARG "XVFB" "TIMEOUT" "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test)
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  vigilon_warnings(${name})
  if(TARGET vigilon_qt_test_pch)
    target_precompile_headers(${name} REUSE_FROM vigilon_qt_test_pch)
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  if(ARG_XVFB)
    add_test(NAME ${name} COMMAND "${PROJECT_SOURCE_DIR}/scripts/with-xvfb.sh" $<TARGET_FILE:${name}>)
    set(platform "")
  else()
    add_test(NAME ${name} COMMAND ${name})
    set(platform "QT_QPA_PLATFORM=offscreen")
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "ui;${ARG_LABELS}"
    ENVIRONMENT "${platform};VIGILON_LANG=ja;VIGILON_TEST_BINARY_DIR=${CMAKE_BINARY_DIR};VIGILON_SOURCE_DIR=${PROJECT_SOURCE_DIR};${ARG_ENVIRONMENT}")
endfunction()
