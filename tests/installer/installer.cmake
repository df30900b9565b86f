# The machine-wide package (installer/) under Wine's msiexec. The checks load the installed i686
# plug-ins, so only the i686 tree runs them; they change the prefix's HKLM and Program Files, so
# they run alone. Label "installer".
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  foreach(check install upgrade)
    add_test(NAME Installer.${check}
             COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/check-${check}.sh ${CMAKE_SOURCE_DIR} ${VX_BIN}
                     ${CMAKE_BINARY_DIR}/installer-${check})
    set_tests_properties(Installer.${check} PROPERTIES RUN_SERIAL TRUE TIMEOUT 300 LABELS installer)
  endforeach()
endif()

# The policy templates and the package name the key and the values the plug-in's sources read.
add_test(NAME Policies.NamesMatchThePlugin
         COMMAND python3 ${CMAKE_CURRENT_LIST_DIR}/check-names.py ${CMAKE_SOURCE_DIR})
set_tests_properties(Policies.NamesMatchThePlugin PROPERTIES LABELS installer)
