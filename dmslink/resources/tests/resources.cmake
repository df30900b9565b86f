# The module's resources (compiled into the test) against the German module built beside it.
vx_test(resources_test ${CMAKE_CURRENT_LIST_DIR}/ResourcesTest.cpp ${DMSLINK_RC})
target_include_directories(resources_test PRIVATE ${CMAKE_SOURCE_DIR}/dmslink/resources)
target_link_libraries(resources_test PRIVATE vxtesting vxtestmodule vxsupport comctl32)
add_dependencies(resources_test dmslink_lang_de)
