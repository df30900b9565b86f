vx_test(documents_test
  ${CMAKE_CURRENT_LIST_DIR}/DocumentsFixture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DocumentManagerTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TempWorkspaceTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DeskClientPRFTest.cpp
  ${DMSLINK_RC})
target_include_directories(documents_test PRIVATE ${CMAKE_SOURCE_DIR}/dmslink/resources)
target_link_libraries(documents_test PRIVATE vxtesting dmslink_core tesserastub)
