vx_test(dmslink_entry_test ${CMAKE_CURRENT_LIST_DIR}/PluginEntryTest.cpp)
target_link_libraries(dmslink_entry_test PRIVATE vxhost)
add_dependencies(dmslink_entry_test dmslink)
