# The German language module: a resource-only library, installed by the setup under
# <program data>\Lang\DE\dmslink.dll and built here into bin/Lang/DE.
add_library(dmslink_lang_de MODULE ${CMAKE_CURRENT_LIST_DIR}/lang/de/dmslink_de.rc ${VX_SUPPORT_RC_DE})
set_target_properties(dmslink_lang_de PROPERTIES
  PREFIX ""
  OUTPUT_NAME dmslink
  LINKER_LANGUAGE C
  LIBRARY_OUTPUT_DIRECTORY ${VX_BIN}/Lang/DE
  RUNTIME_OUTPUT_DIRECTORY ${VX_BIN}/Lang/DE)
# Nothing but resources: no runtime, no entry point.
target_link_options(dmslink_lang_de PRIVATE -nostdlib -Wl,--entry=0)
vx_version_resource(dmslink_lang_de dmslink "German resources of the Tessera DMS integration")
add_dependencies(dmslink dmslink_lang_de)
