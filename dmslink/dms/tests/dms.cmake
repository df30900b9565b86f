vx_test(tsmanager_test
  ${CMAKE_CURRENT_LIST_DIR}/TSPasswordTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TSServerListTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TSSessionTest.cpp)
target_link_libraries(tsmanager_test PRIVATE vxtesting vxtestmodule dmslink_core tesserastub)
