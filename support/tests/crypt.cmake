vx_test(crypt_test ${CMAKE_CURRENT_LIST_DIR}/CryptKeyTest.cpp)
target_link_libraries(crypt_test PRIVATE vxsupport)
