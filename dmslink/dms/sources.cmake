target_sources(dmslink_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/TSManager.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TSServerList.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TSPasswordCipher.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StoredPassword.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TesseraGuids.cpp)
