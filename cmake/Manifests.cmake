# Every exe carries a manifest as resource 1, made from one template
# (app/res/GT3ErrLog.manifest.in): GT3ErrLog.exe asks for highestAvailable; test,
# benchmark and tool programs run asInvoker, so that an unelevated run on a machine
# with UAC can start them. Without any manifest Windows would virtualise a
# program's registry writes.
#
# It must be the only one. Which toolchains add a manifest of their own:
# - Microsoft's linker, unless told not to (/MANIFEST:NO, in the top-level CMakeLists.txt);
# - MinGW-w64 gcc links default-manifest.o (asInvoker, resource 1) into every exe
#   whenever its library folders hold one: MSYS2's do, through the package
#   mingw-w64-<arch>-windows-default-manifest that its gcc depends on;
# - Debian's MinGW-w64 cross compilers ship none.
# A second manifest may fail the link (".rsrc merge failure") or stay beside
# ours, where Windows may read it instead: no highestAvailable, no common
# controls 6, no per-monitor DPI. Which happens depends on the linker's version
# and on the resources' languages, so the configuration stops instead.
if(NOT MSVC)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=default-manifest.o
                  OUTPUT_VARIABLE toolchain_manifest OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  # The bare name comes back when the compiler finds no such file.
  if(IS_ABSOLUTE "${toolchain_manifest}" AND EXISTS "${toolchain_manifest}")
    message(FATAL_ERROR
      "The compiler links a manifest of its own into every exe (${toolchain_manifest}), beside the one each "
      "exe here carries. Remove it first: with MSYS2, pacman -Rdd mingw-w64-<arch>-windows-default-manifest "
      "(mingw-w64-i686-windows-default-manifest for MINGW32).")
  endif()
endif()

# gt3_manifest(target highestAvailable|asInvoker)
function(gt3_manifest target level)
  set(dir ${CMAKE_BINARY_DIR}/manifests/${level})
  set(GT3_EXECUTION_LEVEL ${level})
  configure_file(${PROJECT_SOURCE_DIR}/app/res/GT3ErrLog.manifest.in ${dir}/GT3ErrLog.manifest @ONLY)
  file(CONFIGURE OUTPUT ${dir}/Manifest.rc CONTENT
       "#include <winresrc.h>\nCREATEPROCESS_MANIFEST_RESOURCE_ID RT_MANIFEST \"GT3ErrLog.manifest\"\n")
  target_sources(${target} PRIVATE ${dir}/Manifest.rc)
  # The resource compiler reports no dependencies: a changed manifest must still
  # rebuild the resource.
  set_property(SOURCE ${dir}/Manifest.rc TARGET_DIRECTORY ${target} APPEND PROPERTY
               OBJECT_DEPENDS ${dir}/GT3ErrLog.manifest)
  # windres finds the manifest beside the script; rc.exe documents only its
  # working folder and /I, so name the folder.
  target_include_directories(${target} PRIVATE ${dir})
  set_property(GLOBAL APPEND PROPERTY GT3_MANIFESTED_PROGRAMS "${target}:${level}")
endfunction()

# gt3_list_manifested_programs(test_target): writes programs.txt beside the test
# program, one line per exe built here ("path-relative-to-it level"), and builds
# them all before it, so that it can read each exe's manifest.
function(gt3_list_manifested_programs test_target)
  get_property(programs GLOBAL PROPERTY GT3_MANIFESTED_PROGRAMS)
  set(content "")
  foreach(entry IN LISTS programs)
    string(REPLACE ":" ";" parts "${entry}")
    list(GET parts 0 target)
    list(GET parts 1 level)
    string(APPEND content "$<PATH:RELATIVE_PATH,$<TARGET_FILE:${target}>,$<TARGET_FILE_DIR:${test_target}>> ${level}\n")
    if(NOT target STREQUAL test_target)
      add_dependencies(${test_target} ${target})
    endif()
  endforeach()
  file(GENERATE OUTPUT $<TARGET_FILE_DIR:${test_target}>/programs.txt CONTENT "${content}")
endfunction()
