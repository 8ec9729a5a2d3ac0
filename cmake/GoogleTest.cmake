# GoogleTest: the system package natively; for the cross build, built from
# Debian's googletest sources with the cross compiler; on Windows itself (Visual
# Studio, MSYS2), a pinned release fetched at configure time, since the hosted
# images have none. Built on the runtime that CMAKE_MSVC_RUNTIME_LIBRARY names.
include(GoogleTest)

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
if(CMAKE_CROSSCOMPILING)
  set(GT3_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for the cross build")
  add_subdirectory(${GT3_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

  # Stops the private Wine prefix's wineserver (and the test Xvfb) once every
  # Windows test has run.
  add_test(NAME wine_shutdown COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-run.sh --shutdown)
  set_tests_properties(wine_shutdown PROPERTIES FIXTURES_CLEANUP wine)
elseif(WIN32)
  include(FetchContent)
  FetchContent_Declare(googletest
    GIT_REPOSITORY https://github.com/google/googletest.git
    GIT_TAG f8d7d77c06936315286eb55f8de22cd23c188571  # v1.14.0
    SYSTEM)
  FetchContent_MakeAvailable(googletest)
  if(MSVC)
    # Its own flags treat warnings as errors: a newer compiler's warning in its
    # code must not fail our build.
    foreach(target gtest gtest_main gmock gmock_main)
      target_compile_options(${target} PRIVATE /WX-)
    endforeach()
  endif()
else()
  find_package(GTest REQUIRED)
endif()
if(NOT TARGET GTest::gtest_main)
  add_library(GTest::gtest ALIAS gtest)
  add_library(GTest::gtest_main ALIAS gtest_main)
  add_library(GTest::gmock ALIAS gmock)
endif()

# gt3_add_tests(target [DESKTOP] SOURCES ... LIBS ...): one test executable whose
# cases ctest lists one by one. Windows test cases run under Wine, discovered when
# ctest starts so that building never needs Wine. Under Wine the cases of one
# executable share a registry and take turns; those that open windows (DESKTOP)
# take turns with every other windowed case too, since activation and focus are
# one per desktop. The same holds on Windows itself.
function(gt3_add_tests target)
  cmake_parse_arguments(ARG "DESKTOP" "" "LIBS;SOURCES" ${ARGN})
  set(lock ${target})
  if(ARG_DESKTOP)
    set(lock desktop)
  endif()
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} GTest::gtest_main GTest::gmock)
  if(CMAKE_CROSSCOMPILING)
    gt3_manifest(${target} asInvoker)
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                         PROPERTIES FIXTURES_REQUIRED wine RESOURCE_LOCK ${lock} TIMEOUT 300)
  elseif(WIN32)
    gt3_manifest(${target} asInvoker)
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                         PROPERTIES RESOURCE_LOCK ${lock} TIMEOUT 300)
  else()
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
