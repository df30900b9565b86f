# The error records load their texts from the library's own string table, compiled into the test.
vx_test(files_test ${CMAKE_CURRENT_LIST_DIR}/FileSpecifierTest.cpp ${VX_SUPPORT_RC})
target_link_libraries(files_test PRIVATE vxtesting vxtestmodule vxsupport)
