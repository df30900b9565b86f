target_sources(dmslink_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CDocumentManager.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DeskClientPRF.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileDataRecord.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PrfText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RegistryWorkspace.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TempWorkspace.cpp)
