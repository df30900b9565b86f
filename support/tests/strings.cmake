vx_test(strings_test ${CMAKE_CURRENT_LIST_DIR}/StringUtilsTest.cpp)
target_link_libraries(strings_test PRIVATE vxtesting vxtestmodule vxsupport)
vx_test(handles_test ${CMAKE_CURRENT_LIST_DIR}/HandlesTest.cpp)
target_link_libraries(handles_test PRIVATE vxtesting vxtestmodule vxsupport)
