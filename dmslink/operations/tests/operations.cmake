vx_test(dmslink_operations_test
  ${CMAKE_CURRENT_LIST_DIR}/../../documents/tests/DocumentsFixture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OperationsFixture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SpyContext.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CheckoutTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CheckinTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SaveAsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OneOperationTest.cpp
  ${DMSLINK_RC})
target_include_directories(dmslink_operations_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../.. ${CMAKE_CURRENT_LIST_DIR}/../../resources
                                                   ${CMAKE_CURRENT_LIST_DIR}/../../documents/tests)
target_link_libraries(dmslink_operations_test PRIVATE vxtesting dmslink_core tesserastub)
