# BRIXON.dll end to end under Wine: brixonhost.exe plays the page, the
# module reaches a private stack of the Linux build (QVX_LINUX_BUILD_DIR)
# through the relay's winscard.dll. Every case registers the module with
# regsvr32 in a Wine prefix of its own, and checks that unregistering
# leaves the classes as they were; one case runs the connector service
# beside it. Skipped, saying so, without the Linux build.
function(qvx_add_wine_plugin_test name)
  add_test(NAME wine_plugin.${name} COMMAND ${CMAKE_CURRENT_LIST_DIR}/wine-plugin-e2e
    "${QVX_LINUX_BUILD_DIR}" $<TARGET_FILE:qvx_relay_winscard> $<TARGET_FILE:BRIXON>
    $<TARGET_FILE:brixonhost> $<TARGET_FILE:brixwssvr> ${name})
  set_tests_properties(wine_plugin.${name} PROPERTIES LABELS pcscd SKIP_RETURN_CODE 77
    TIMEOUT 300 ENVIRONMENT "WINEPREFIX=${QVX_WINE_PREFIX};WINEDEBUG=-all")
  # The same over the driver lane: qvxrdr.sys under Wine and the test
  # smart-card service, one case at a time (each runs the driver).
  add_test(NAME wine_plugin_driver.${name} COMMAND ${CMAKE_CURRENT_LIST_DIR}/wine-plugin-e2e
    --driver $<TARGET_FILE:qvxrdr_sys> ${PROJECT_SOURCE_DIR}/driver/windows/qvxrdr.inf
    "${QVX_LINUX_BUILD_DIR}" $<TARGET_FILE:qvx_scard_service> $<TARGET_FILE:BRIXON>
    $<TARGET_FILE:brixonhost> $<TARGET_FILE:brixwssvr> ${name})
  set_tests_properties(wine_plugin_driver.${name} PROPERTIES LABELS "pcscd;wdm"
    SKIP_RETURN_CODE 77 TIMEOUT 300 RESOURCE_LOCK qvx_wine_driver_lane
    ENVIRONMENT "WINEPREFIX=${QVX_WINE_PREFIX};WINEDEBUG=-all")
endfunction()

foreach(case members outcomes other-site reentrant-cancel two-hosts killed-host service)
  qvx_add_wine_plugin_test(${case})
endforeach()
