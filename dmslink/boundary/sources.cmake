target_sources(dmslink_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/PluginInit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DocNotifications.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ExtTesseraHFT.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TheModule.cpp)
