# End-to-end scenarios: vphost.exe with the real plug-ins and the DMS stand-in, each through
# detached.sh (what Wine leaves running cannot hold ctest up). They change the
# Wine prefix's registry (HKLM preferences), so they run alone.
add_test(NAME Scenario.MainJob
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/detached.sh ${CMAKE_CURRENT_LIST_DIR}/check-main.sh ${CMAKE_SOURCE_DIR} ${VX_BIN}
                 ${CMAKE_BINARY_DIR}/scenario-main ${CMAKE_CURRENT_LIST_DIR}/main.expected)
set_tests_properties(Scenario.MainJob PROPERTIES RUN_SERIAL TRUE TIMEOUT 600)

# The crash-recovery, two-host and long-session stories, each on a fresh store and workspace; label
# "soak" (scripts/test.sh -L soak runs only them, -LE soak everything else).
foreach(story inuse killed cycles kills soak)
  add_test(NAME Scenario.${story}
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/detached.sh ${CMAKE_CURRENT_LIST_DIR}/check-${story}.sh ${CMAKE_SOURCE_DIR} ${VX_BIN}
                   ${CMAKE_BINARY_DIR}/scenario-${story})
  set_tests_properties(Scenario.${story} PROPERTIES RUN_SERIAL TRUE TIMEOUT 600 LABELS soak)
endforeach()

# DMS and workspace faults under a user (not a long story: no soak label).
add_test(NAME Scenario.faults
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/detached.sh ${CMAKE_CURRENT_LIST_DIR}/check-faults.sh ${CMAKE_SOURCE_DIR} ${VX_BIN} ${CMAKE_BINARY_DIR}/scenario-faults)
set_tests_properties(Scenario.faults PROPERTIES RUN_SERIAL TRUE TIMEOUT 600)

# A session that ends at once after its last close, a killed one, and a second host alongside.
add_test(NAME Scenario.quit
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/detached.sh ${CMAKE_CURRENT_LIST_DIR}/check-quit.sh ${CMAKE_SOURCE_DIR} ${VX_BIN} ${CMAKE_BINARY_DIR}/scenario-quit)
set_tests_properties(Scenario.quit PROPERTIES RUN_SERIAL TRUE TIMEOUT 300)

# A tampered workspace: links to the outside, a loop, a record naming a file outside its folder.
add_test(NAME Scenario.hostile
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/detached.sh ${CMAKE_CURRENT_LIST_DIR}/check-hostile.sh ${CMAKE_SOURCE_DIR} ${VX_BIN} ${CMAKE_BINARY_DIR}/scenario-hostile)
set_tests_properties(Scenario.hostile PROPERTIES RUN_SERIAL TRUE TIMEOUT 300)

# Tessera not answering: check-in, check-out, unlock, import and the automatic login at start.
add_test(NAME Scenario.noanswer
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/detached.sh ${CMAKE_CURRENT_LIST_DIR}/check-noanswer.sh ${CMAKE_SOURCE_DIR} ${VX_BIN} ${CMAKE_BINARY_DIR}/scenario-noanswer)
set_tests_properties(Scenario.noanswer PROPERTIES RUN_SERIAL TRUE TIMEOUT 300)

# Edits the DMS did not take: the window "Kept on this computer", and a second host alongside.
add_test(NAME Scenario.kept
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/detached.sh ${CMAKE_CURRENT_LIST_DIR}/check-kept.sh ${CMAKE_SOURCE_DIR} ${VX_BIN} ${CMAKE_BINARY_DIR}/scenario-kept)
set_tests_properties(Scenario.kept PROPERTIES RUN_SERIAL TRUE TIMEOUT 600)
