target_sources(dmslink_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CDmslinkModule.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CDocumentLifecycle.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CKeptCopyActions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TSPreferences.cpp)
