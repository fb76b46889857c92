# End-to-end cases of the Windows build under Wine: Windows programs reach a
# private stack of the Linux build through winscard.dll and
# qvx-scard-relay. They need that Linux build (qvxsim, qvxrdr, qvxcmd,
# qvx-scard-relay built there) and skip, saying so, without it.
set(QVX_LINUX_BUILD_DIR "" CACHE PATH
  "The Linux build whose stack and relay the Wine end-to-end tests use")

function(qvx_add_wine_e2e_test name)
  add_test(NAME ${name} COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/wine-e2e
    "${QVX_LINUX_BUILD_DIR}" $<TARGET_FILE:qvx_relay_winscard> $<TARGET_FILE:qvxcmd> ${ARGN})
  # Every stack's reader has the same name, so its Windows cancel event
  # has too: cases sharing the build's Wine prefix must not run together.
  set_tests_properties(${name} PROPERTIES LABELS pcscd SKIP_RETURN_CODE 77 TIMEOUT 300
    RESOURCE_LOCK qvx_wine_named_objects
    ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wine;WINEDEBUG=-all")
endfunction()

# Every command, then the outcomes the device and its customer decide.
qvx_add_wine_e2e_test(wine_relay.check_connection compare -- check-connection)
qvx_add_wine_e2e_test(wine_relay.check_card compare -- check-card nl)
qvx_add_wine_e2e_test(wine_relay.get_response compare -- get-response 0002CCDD en)
qvx_add_wine_e2e_test(wine_relay.get_mode1_response
  compare -- get-mode1-response 12345678 0978 000000012345)
qvx_add_wine_e2e_test(wine_relay.get_mode2_response
  compare --varies Response -- get-mode2-response)
qvx_add_wine_e2e_test(wine_relay.display_result compare -- display-result 1 @empty nl)
qvx_add_wine_e2e_test(wine_relay.cancel compare -- cancel)
qvx_add_wine_e2e_test(wine_relay.customer_cancels
  compare --sim "customer cancel 100" --status 7 -- get-mode2-response)
qvx_add_wine_e2e_test(wine_relay.no_card
  compare --sim remove --status 1 -- check-card nl)
qvx_add_wine_e2e_test(wine_relay.pin_blocked
  compare --sim "card 5412751234567890 01 pinblocked" --status 11 -- get-mode2-response)
qvx_add_wine_e2e_test(wine_relay.cancel_bridge cancel-bridge)
qvx_add_wine_e2e_test(wine_relay.service_under_service_manager service $<TARGET_FILE:brixwssvr>)
