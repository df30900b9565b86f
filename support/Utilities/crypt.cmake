target_sources(vxsupport PRIVATE ${CMAKE_CURRENT_LIST_DIR}/CCryptKey.cpp)
target_link_libraries(vxsupport PUBLIC advapi32)
