# End-to-end scenarios: vphost.exe with the real plug-ins and the DMS stand-in. They change the
# Wine prefix's registry (HKLM preferences), so they run alone.
add_test(NAME Scenario.MainJob
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/check-main.sh ${CMAKE_SOURCE_DIR} ${VX_BIN}
                 ${CMAKE_BINARY_DIR}/scenario-main ${CMAKE_CURRENT_LIST_DIR}/main.expected)
set_tests_properties(Scenario.MainJob PROPERTIES RUN_SERIAL TRUE TIMEOUT 600)

# The crash-recovery, two-host and long-session stories, each on a fresh store and workspace; label
# "soak" (scripts/test.sh -L soak runs only them, -LE soak everything else).
foreach(story inuse killed cycles)
  add_test(NAME Scenario.${story}
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/check-${story}.sh ${CMAKE_SOURCE_DIR} ${VX_BIN}
                   ${CMAKE_BINARY_DIR}/scenario-${story})
  set_tests_properties(Scenario.${story} PROPERTIES RUN_SERIAL TRUE TIMEOUT 600 LABELS soak)
endforeach()
