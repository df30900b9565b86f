target_sources(dmslink_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CKeptCopiesDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CProgressDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CServerPropertiesDlg.cpp)
