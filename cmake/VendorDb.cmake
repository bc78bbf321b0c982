# The default vendor database, generated at build time from the IEEE
# registry CSV files of Debian's ieee-data package.
set(NORVANE_IEEE_DATA_DIR "/usr/share/ieee-data" CACHE PATH
    "Folder with oui.csv, mam.csv, oui36.csv and iab.csv")
set(NORVANE_VENDOR_DB_TEST "${CMAKE_CURRENT_LIST_DIR}/../tools/norvane-vendordb/tests/dates_test.py")

# norvane_vendor_db(TARGET TOOL TOOL_DEPENDS OUTPUT): a target, built by
# default, that writes OUTPUT with the generator TOOL (a path or generator
# expression) once TOOL_DEPENDS (targets or files) are up to date.
#
# OUTPUT carries the modification time of the newest registry, older than
# the tool that writes it, so the build follows a stamp file written after
# it instead (OUTPUT is a byproduct: deleting it still rebuilds it). With
# tests, the test TARGET.dates checks the date of OUTPUT and of the tool's
# files.
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
  set(_stamp "${output}.stamp")
  add_custom_command(
    OUTPUT "${_stamp}"
    BYPRODUCTS "${output}"
    COMMAND ${tool} "${NORVANE_IEEE_DATA_DIR}" "${output}"
    COMMAND "${CMAKE_COMMAND}" -E touch "${_stamp}"
    DEPENDS ${tool_depends} ${_registries}
    COMMENT "Generating ${output} from ${NORVANE_IEEE_DATA_DIR}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS "${_stamp}")
  if(NORVANE_TESTS)
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    # By path, not as a target: a target would run through the Windows
    # build's emulator, and this check runs on the build machine.
    add_test(NAME ${target}.dates
             COMMAND "${Python3_EXECUTABLE}" "${NORVANE_VENDOR_DB_TEST}" "${tool}"
                     "${NORVANE_IEEE_DATA_DIR}" "${output}")
    set_tests_properties(${target}.dates PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77)
  endif()
endfunction()
