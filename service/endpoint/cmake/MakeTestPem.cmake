# Writes OUT_DIR/brixwssvr.pem: a self-signed certificate for 127.0.0.1 and
# localhost followed by its encrypted private key.
# The pass phrase has to agree with PemPassPhrase() in src/TlsContext.cpp.
find_program(OPENSSL openssl REQUIRED)
string(JOIN "" phrase "Qv" "x2" "-B" "rw" "s#" "70" "41" "!k")
# Handed over in the environment, not on a command line others can read.
set(ENV{QVX_PEM_PHRASE} "${phrase}")
file(MAKE_DIRECTORY ${OUT_DIR})
execute_process(
  COMMAND ${OPENSSL} req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1
          -keyout ${OUT_DIR}/key.pem -out ${OUT_DIR}/cert.pem -days 3650
          -subj /CN=localhost -addext subjectAltName=DNS:localhost,IP:127.0.0.1
          -passout env:QVX_PEM_PHRASE
  RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "openssl req failed: ${errors}")
endif()
file(READ ${OUT_DIR}/cert.pem cert)
file(READ ${OUT_DIR}/key.pem key)
file(REMOVE ${OUT_DIR}/key.pem ${OUT_DIR}/cert.pem)
file(WRITE ${OUT_DIR}/brixwssvr.pem "${cert}${key}")
