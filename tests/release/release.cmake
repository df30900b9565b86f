# The deliverables as a release ships them (label "release"): signed and installed as signed, built
# again elsewhere to the same bytes, and the plug-ins' sources clean under clang-tidy. They read the
# i686 tree, wherever the tests run.
get_filename_component(vx_build_root ${vx_deliverables_tree}/.. ABSOLUTE)
# It signs into the build's package folder and installs under Wine: alone, as the package checks.
add_test(NAME Release.signed
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/check-signed.sh ${CMAKE_SOURCE_DIR} ${vx_build_root}
                 ${CMAKE_BINARY_DIR}/release-signed)
set_tests_properties(Release.signed PROPERTIES RUN_SERIAL TRUE TIMEOUT 300)
add_test(NAME Release.reproducible
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/check-reproducible.sh ${CMAKE_SOURCE_DIR} ${vx_deliverables_tree}
                 ${CMAKE_BINARY_DIR}/release-reproducible)
set_tests_properties(Release.reproducible PROPERTIES TIMEOUT 900)
# The analysis is the longest test that runs beside others: it starts first, beside the short ones,
# rather than at the end, where the tests that run alone would wait for it.
add_test(NAME Release.tidy COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/tidy.sh)
set_tests_properties(Release.tidy PROPERTIES TIMEOUT 900 COST 10000 ENVIRONMENT VX_BUILD_ROOT=${vx_build_root})
set_tests_properties(Release.signed Release.reproducible Release.tidy PROPERTIES LABELS release)
