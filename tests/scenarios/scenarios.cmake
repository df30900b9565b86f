# End-to-end scenarios: vphost.exe with the real plug-ins and the DMS stand-in. They change the
# Wine prefix's registry (HKLM preferences), so they run alone.
add_test(NAME Scenario.MainJob
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/check-main.sh ${CMAKE_SOURCE_DIR} ${VX_BIN}
                 ${CMAKE_BINARY_DIR}/scenario-main ${CMAKE_CURRENT_LIST_DIR}/main.expected)
set_tests_properties(Scenario.MainJob PROPERTIES RUN_SERIAL TRUE TIMEOUT 600)
