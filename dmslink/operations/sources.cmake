target_sources(dmslink_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/TSOperations.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TSCheckout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TSImport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TSCheckin.cpp)
