# End-to-end cases of the Windows build under Wine: Windows programs reach a
# private stack of the Linux build through winscard.dll and
# qvx-scard-relay. They need that Linux build (qvxsim, qvxrdr, qvxcmd,
# qvx-scard-relay built there) and skip, saying so, without it.
set(QVX_LINUX_BUILD_DIR "" CACHE PATH
  "The Linux build whose stack and relay the Wine end-to-end tests use")

function(qvx_add_wine_relay_test name)
  add_test(NAME ${name} COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/wine-e2e
    "${QVX_LINUX_BUILD_DIR}" $<TARGET_FILE:qvx_relay_winscard> $<TARGET_FILE:qvxcmd> ${ARGN})
  # Every stack's reader has the same name, so its Windows cancel event
  # has too: cases sharing the build's Wine prefix must not run together.
  set_tests_properties(${name} PROPERTIES LABELS pcscd SKIP_RETURN_CODE 77 TIMEOUT 300
    RESOURCE_LOCK qvx_wine_named_objects
    ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wine;WINEDEBUG=-all")
endfunction()

# The same case over the driver lane: qvxrdr.sys under Wine with the test
# smart-card service (testing/scard-service) instead of the relay, each in
# a private prefix. One at a time: each emulates a device and runs a Wine
# session with the driver, and the killed holder's case measures time.
function(qvx_add_wine_driver_test name)
  add_test(NAME ${name} COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/wine-e2e
    --driver $<TARGET_FILE:qvxrdr_sys> ${PROJECT_SOURCE_DIR}/driver/windows/qvxrdr.inf
    "${QVX_LINUX_BUILD_DIR}" $<TARGET_FILE:qvx_scard_service> $<TARGET_FILE:qvxcmd> ${ARGN})
  set_tests_properties(${name} PROPERTIES LABELS "pcscd;wdm" SKIP_RETURN_CODE 77 TIMEOUT 300
    RESOURCE_LOCK qvx_wine_driver_lane
    ENVIRONMENT "WINEPREFIX=${QVX_WINE_PREFIX};WINEDEBUG=-all")
endfunction()

# A case on both lanes: wine_relay.NAME and wine_driver.NAME.
function(qvx_add_wine_e2e_test name)
  qvx_add_wine_relay_test(wine_relay.${name} ${ARGN})
  qvx_add_wine_driver_test(wine_driver.${name} ${ARGN})
endfunction()

# Every command, then the outcomes the device and its customer decide.
qvx_add_wine_e2e_test(check_connection compare -- check-connection)
qvx_add_wine_e2e_test(check_card compare -- check-card nl)
qvx_add_wine_e2e_test(get_response compare -- get-response 0002CCDD en)
qvx_add_wine_e2e_test(get_mode1_response
  compare -- get-mode1-response 12345678 0978 000000012345)
qvx_add_wine_e2e_test(get_mode2_response
  compare --varies Response -- get-mode2-response)
qvx_add_wine_e2e_test(display_result compare -- display-result 1 @empty nl)
qvx_add_wine_e2e_test(cancel compare -- cancel)
qvx_add_wine_e2e_test(customer_cancels
  compare --sim "customer cancel 100" --status 7 -- get-mode2-response)
qvx_add_wine_e2e_test(no_card
  compare --sim remove --status 1 -- check-card nl)
qvx_add_wine_e2e_test(pin_blocked
  compare --sim "card 5412751234567890 01 pinblocked" --status 11 -- get-mode2-response)
qvx_add_wine_e2e_test(cancel_bridge cancel-bridge)
qvx_add_wine_e2e_test(service_under_service_manager service $<TARGET_FILE:brixwssvr>)
# What only the driver lane can show: the reader's end when its holder's
# process dies, and the device leaving and coming back.
qvx_add_wine_driver_test(wine_driver.killed_holder killed-holder)
qvx_add_wine_driver_test(wine_driver.unplug_plug unplug-plug)
