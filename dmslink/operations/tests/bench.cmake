# The check-out/check-in benchmark: a program of its own, not a ctest test.
add_executable(checkout_bench ${CMAKE_CURRENT_LIST_DIR}/../bench/CheckoutBench.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../bench/StartupBench.cpp ${DMSLINK_RC})
target_include_directories(checkout_bench PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../.. ${CMAKE_CURRENT_LIST_DIR}/../../resources)
target_link_libraries(checkout_bench PRIVATE vxtesting dmslink_core tesserastub psapi)
add_dependencies(checkout_bench dmslink vxtestplugin)
