target_sources(vxsupport PRIVATE ${CMAKE_CURRENT_LIST_DIR}/CAPFileSpecifier.cpp ${CMAKE_CURRENT_LIST_DIR}/CAPPathText.cpp
                                 ${CMAKE_CURRENT_LIST_DIR}/CAPLongPaths.cpp)
