# Script tests: norvane-decode against tshark on the shared captures, and the
# discovery lab (real peer daemons in network namespaces, needs root).
# Included by tests/CMakeLists.txt for native builds.
find_package(Python3 COMPONENTS Interpreter)
if(NOT Python3_Interpreter_FOUND)
  message(STATUS "python3 not found: lab and comparison tests not registered")
  return()
endif()

# Folders include one way, in the order the README gives: the tree itself,
# and the check on trees of its own.
add_test(NAME tree.include_order
         COMMAND Python3::Interpreter "${CMAKE_SOURCE_DIR}/scripts/check_includes.py"
                 "${CMAKE_SOURCE_DIR}")
add_test(NAME tree.include_order_check
         COMMAND Python3::Interpreter "${CMAKE_CURRENT_SOURCE_DIR}/tree/check_includes_test.py")
set_tests_properties(tree.include_order tree.include_order_check PROPERTIES TIMEOUT 120)

# The labs' shared process bookkeeping, on processes of the test's own.
add_test(NAME labs.process_bookkeeping
         COMMAND bash "${CMAKE_CURRENT_SOURCE_DIR}/support/processes_test.sh")
set_tests_properties(labs.process_bookkeeping PROPERTIES TIMEOUT 120)

set(NORVANE_LAB_DIR "${CMAKE_CURRENT_SOURCE_DIR}/lab")
set(NORVANE_LAB_OUT "${CMAKE_BINARY_DIR}/lab")
# The tool lives in tools/norvane-decode; the tests skip while it is not built.
if(TARGET norvane-decode)
  set(NORVANE_DECODE "$<TARGET_FILE:norvane-decode>")
else()
  set(NORVANE_DECODE "${CMAKE_BINARY_DIR}/tools/norvane-decode/norvane-decode")
endif()
set(NORVANE_FAMILIES "LLDP,CDP,mDNS,LLMNR,SSDP,WS-Discovery")

file(GLOB NORVANE_SHARED_CAPTURES "${NORVANE_CAPTURES_DIR}/*.pcap")
add_test(NAME lab.compare_shared_captures
         COMMAND Python3::Interpreter "${NORVANE_LAB_DIR}/compare.py"
                 --decoder "${NORVANE_DECODE}" --require LLDP,CDP ${NORVANE_SHARED_CAPTURES})

# The comparison must notice a decoder that gets a field wrong.
add_test(NAME lab.compare_notices_a_wrong_field
         COMMAND Python3::Interpreter "${NORVANE_LAB_DIR}/compare.py"
                 --decoder "${NORVANE_LAB_DIR}/altered_decoder.py"
                 "${NORVANE_CAPTURES_DIR}/LLDP_and_CDP.pcap")
set_tests_properties(lab.compare_notices_a_wrong_field PROPERTIES
                     ENVIRONMENT "NORVANE_DECODE=${NORVANE_DECODE}"
                     PASS_REGULAR_EXPRESSION "MISMATCH LLDP_and_CDP.pcap frame 1 \\(CDP\\): info")

# The lab: captures into build/lab, then the comparison of every protocol.
add_test(NAME lab.capture COMMAND bash "${NORVANE_LAB_DIR}/lab.sh" "${NORVANE_LAB_OUT}")
set_tests_properties(lab.capture PROPERTIES FIXTURES_SETUP norvane_lab RUN_SERIAL TRUE
                     TIMEOUT 240 SKIP_RETURN_CODE 77)

set(NORVANE_LAB_CAPTURES)
foreach(name lldp cdp mdns llmnr ssdp wsd)
  list(APPEND NORVANE_LAB_CAPTURES "${NORVANE_LAB_OUT}/${name}.pcap")
endforeach()
add_test(NAME lab.compare
         COMMAND Python3::Interpreter "${NORVANE_LAB_DIR}/compare.py"
                 --decoder "${NORVANE_DECODE}" --require "${NORVANE_FAMILIES}"
                 ${NORVANE_LAB_CAPTURES})
set_tests_properties(lab.compare PROPERTIES FIXTURES_REQUIRED norvane_lab)

# The switch port and VLAN the lab's lldpd switch names, as tshark sees them.
add_test(NAME lab.switch_port
         COMMAND Python3::Interpreter "${NORVANE_LAB_DIR}/switch_port_check.py"
                 --decoder "${NORVANE_DECODE}" "${NORVANE_LAB_OUT}/lldp.pcap")
set_tests_properties(lab.switch_port PROPERTIES FIXTURES_REQUIRED norvane_lab SKIP_RETURN_CODE 77
                     TIMEOUT 120)

set_tests_properties(lab.compare_shared_captures lab.compare lab.compare_notices_a_wrong_field
                     PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)

# The lab's captures as CSV: the same rows and fields as the JSON Lines.
add_test(NAME norvane_decode.lab_captures_csv
         COMMAND Python3::Interpreter "${CMAKE_SOURCE_DIR}/tools/norvane-decode/tests/decode_test.py"
                 "${NORVANE_DECODE}" lab "${NORVANE_LAB_OUT}")
set_tests_properties(norvane_decode.lab_captures_csv PROPERTIES FIXTURES_REQUIRED norvane_lab
                     SKIP_RETURN_CODE 77 TIMEOUT 300)
