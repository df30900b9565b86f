target_sources(dmslink_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CDocumentManager.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CDocumentManagerPRF.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CDocumentManagerWorkspace.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CDeferredDeletions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CFolderClaim.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CKeptCopies.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileDataRecord.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PrfText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TempWorkspace.cpp)
