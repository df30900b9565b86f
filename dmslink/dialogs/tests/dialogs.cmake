vx_test(dmslink_dialogs_test
  ${CMAKE_CURRENT_LIST_DIR}/ServerDialogTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ProgressDlgTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/KeptCopiesDlgTest.cpp
  ${DMSLINK_RC})
target_include_directories(dmslink_dialogs_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../.. ${CMAKE_CURRENT_LIST_DIR}/../../resources)
target_link_libraries(dmslink_dialogs_test PRIVATE vxtesting dmslink_core tesserastub)
