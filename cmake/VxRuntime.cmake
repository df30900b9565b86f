# The mingw runtime DLLs that our modules import, copied beside the executables in bin/.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(VX_MINGW x86_64-w64-mingw32)
  set(VX_LIBGCC libgcc_s_seh-1.dll)
else()
  set(VX_MINGW i686-w64-mingw32)
  set(VX_LIBGCC libgcc_s_dw2-1.dll)
endif()
set(VX_RUNTIME_DLLS
    /usr/lib/gcc/${VX_MINGW}/12-posix/${VX_LIBGCC}
    /usr/${VX_MINGW}/lib/libwinpthread-1.dll)
foreach(dll ${VX_RUNTIME_DLLS})
  file(COPY ${dll} DESTINATION ${VX_BIN})
endforeach()

# vx_strict_warnings(target...) - the plug-ins' own code: beyond -Wall -Wextra (errors everywhere), the
# warnings that find real faults in code like this, as errors. Left out: -Wnon-virtual-dtor (COM
# interfaces end through Release, never through a destructor) and -Wnull-dereference (at -O2 it
# reports lookups that the loop around them keeps in range).
function(vx_strict_warnings)
  foreach(target ${ARGN})
    target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-Wformat=2 -Wduplicated-cond
      -Wduplicated-branches -Wlogical-op -Wcast-qual -Wimplicit-fallthrough -Wsuggest-override -Wundef
      -Wpointer-arith -Woverloaded-virtual -Wmisleading-indentation>)
  endforeach()
endfunction()

# vx_plugin(target DEF file) - a plug-in DLL built into bin/plugins with exports from a .def file.
function(vx_plugin target def)
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    LIBRARY_OUTPUT_DIRECTORY ${VX_PLUGINS}
    RUNTIME_OUTPUT_DIRECTORY ${VX_PLUGINS})
  target_sources(${target} PRIVATE ${def})
endfunction()

# vx_test(target sources...) - a GoogleTest program run under Wine through ctest.
function(vx_test target)
  add_executable(${target} ${ARGN})
  target_link_libraries(${target} PRIVATE gmock gtest gtest_main)
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                       WORKING_DIRECTORY ${VX_BIN} PROPERTIES TIMEOUT 300)
endfunction()

# The one version of the modules and the package: the file VERSION.
file(STRINGS ${CMAKE_SOURCE_DIR}/VERSION VX_VERSION LIMIT_COUNT 1)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/VERSION)

# vx_version_resource(target name description) - a VERSIONINFO resource for a module whose file
# is <name>.dll.
function(vx_version_resource target name description)
  set(VX_NAME ${name})
  set(VX_DESCRIPTION ${description})
  string(REPLACE "." "," VX_VERSION_COMMAS ${VX_VERSION})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
