# brixonnm.exe under Wine as the browsers on Windows find and start it: its
# registry values and host manifests installed in a Wine prefix of its own,
# driven over its pipe against a private stack of the Linux build
# (QVX_LINUX_BUILD_DIR) through the relay's winscard.dll. Skipped, saying
# so, without the Linux build.
if(NOT BUILD_TESTING)
  return()
endif()
add_test(NAME wine_nmhost COMMAND ${CMAKE_CURRENT_LIST_DIR}/wine-host-test
  "${QVX_LINUX_BUILD_DIR}" $<TARGET_FILE:qvx_relay_winscard> $<TARGET_FILE:brixonnm>)
set_tests_properties(wine_nmhost PROPERTIES LABELS pcscd SKIP_RETURN_CODE 77 TIMEOUT 300
  ENVIRONMENT "WINEPREFIX=${QVX_WINE_PREFIX};WINEDEBUG=-all")
