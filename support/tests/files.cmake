# The error records load their texts from the module's string table, compiled into the test.
vx_test(files_test ${CMAKE_CURRENT_LIST_DIR}/FileSpecifierTest.cpp ${CMAKE_SOURCE_DIR}/dmslink/resources/dmslink.rc)
target_link_libraries(files_test PRIVATE vxtesting vxtestmodule vxsupport)
