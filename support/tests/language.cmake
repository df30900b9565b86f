vx_test(language_test ${CMAKE_CURRENT_LIST_DIR}/LanguageTest.cpp)
target_link_libraries(language_test PRIVATE vxtesting vxtestmodule vxsupport)
