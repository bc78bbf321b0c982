# The default vendor database, generated at build time from the IEEE
# registry CSV files of Debian's ieee-data package.
set(NORVANE_IEEE_DATA_DIR "/usr/share/ieee-data" CACHE PATH
    "Folder with oui.csv, mam.csv, oui36.csv and iab.csv")

# norvane_vendor_db(TARGET TOOL TOOL_DEPENDS OUTPUT): a target, built by
# default, that writes OUTPUT with the generator TOOL (a path or generator
# expression) once TOOL_DEPENDS (targets or files) are up to date.
function(norvane_vendor_db target tool tool_depends output)
  set(_registries)
  foreach(name oui.csv mam.csv oui36.csv iab.csv)
    list(APPEND _registries "${NORVANE_IEEE_DATA_DIR}/${name}")
  endforeach()
  if(NOT EXISTS "${NORVANE_IEEE_DATA_DIR}/oui.csv")
    message(WARNING "No IEEE registries in ${NORVANE_IEEE_DATA_DIR} (install ieee-data): "
                    "${output} is not generated")
    return()
  endif()
  add_custom_command(
    OUTPUT "${output}"
    COMMAND ${tool} "${NORVANE_IEEE_DATA_DIR}" "${output}"
    DEPENDS ${tool_depends} ${_registries}
    COMMENT "Generating ${output} from ${NORVANE_IEEE_DATA_DIR}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS "${output}")
endfunction()
