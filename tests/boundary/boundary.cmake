# Faults at the plug-in's boundary: every procedure the host calls in dmslink_faults.dll, with a host
# error at each making call and an allocation failure at each allocation in turn. It owns the
# Tessera settings key of both hives for its whole run, so it runs alone.
if(VX_WITH_TESTS AND TARGET dmslink_faults AND TARGET vxtesting)
  add_executable(boundary_faults ${CMAKE_CURRENT_LIST_DIR}/FaultSweep.cpp)
  target_include_directories(boundary_faults PRIVATE ${CMAKE_SOURCE_DIR}/dmslink)
  target_link_libraries(boundary_faults PRIVATE vxtesting dmslink_core tesserastub gtest)
  add_dependencies(boundary_faults dmslink_faults)
  add_test(NAME Boundary.faults COMMAND boundary_faults WORKING_DIRECTORY ${VX_BIN})
  set_tests_properties(Boundary.faults PROPERTIES RUN_SERIAL TRUE TIMEOUT 1500
                       ENVIRONMENT "BOUNDARY_SUMMARY=${CMAKE_BINARY_DIR}/boundary-faults.txt")
endif()
