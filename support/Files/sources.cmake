target_sources(vxsupport PRIVATE ${CMAKE_CURRENT_LIST_DIR}/CAPFileSpecifier.cpp)
