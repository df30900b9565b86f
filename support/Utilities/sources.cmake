target_sources(vxsupport PRIVATE ${CMAKE_CURRENT_LIST_DIR}/CAPStringUtils.cpp ${CMAKE_CURRENT_LIST_DIR}/CAPLanguage.cpp
                                 ${CMAKE_CURRENT_LIST_DIR}/CAPRegistry.cpp ${CMAKE_CURRENT_LIST_DIR}/CAPRegistryText.cpp)
