vx_test(dmslink_startup_test ${CMAKE_CURRENT_LIST_DIR}/PluginStartupTest.cpp)
target_include_directories(dmslink_startup_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../..)
target_link_libraries(dmslink_startup_test PRIVATE vxtesting vxtestmodule tesserastub ole32 oleaut32 uuid)
add_dependencies(dmslink_startup_test dmslink)

vx_test(dmslink_table_test ${CMAKE_CURRENT_LIST_DIR}/TesseraTableTest.cpp ${DMSLINK_RC})
target_include_directories(dmslink_table_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../.. ${CMAKE_CURRENT_LIST_DIR}/../../resources)
target_link_libraries(dmslink_table_test PRIVATE vxtesting dmslink_core tesserastub)
