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

qvx_add_wine_e2e_test(wine_relay.check_connection compare check-connection)
qvx_add_wine_e2e_test(wine_relay.check_card compare check-card nl)
qvx_add_wine_e2e_test(wine_relay.cancel_bridge cancel-bridge)
