# The service's own calls over the driver lane (tests/driver-lane through
# scripts/wine-stack --driver): reader names, the sharing rules across
# processes, a card connection, card tracking with its time limit and SCardCancel. They need
# the Linux build's qvxsim and umockdev, and skip, saying so, without.
function(qvx_add_scard_service_test name)
  add_test(NAME scard_service.${name} COMMAND ${CMAKE_CURRENT_LIST_DIR}/driver-lane
    "${QVX_LINUX_BUILD_DIR}" $<TARGET_FILE:qvxrdr_sys> ${PROJECT_SOURCE_DIR}/driver/windows/qvxrdr.inf
    $<TARGET_FILE:qvx_scard_service> $<TARGET_FILE:scard-probe> ${name})
  set_tests_properties(scard_service.${name} PROPERTIES LABELS "pcscd;wdm" SKIP_RETURN_CODE 77
    TIMEOUT 300 RESOURCE_LOCK qvx_wine_driver_lane
    ENVIRONMENT "WINEPREFIX=${QVX_WINE_PREFIX};WINEDEBUG=-all")
endfunction()

foreach(case names sharing card two tracking)
  qvx_add_scard_service_test(${case})
endforeach()
