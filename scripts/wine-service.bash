# Steps of the tests that run brixwssvr.exe under Wine's service manager,
# sourced by them (inside scripts/wine-run --own-prefix --host, whose
# machine environment carries QVX_WSS_PORTS, QVX_SCARD_RELAY and
# WINEDLLOVERRIDES to the service). Each step prints what went wrong and
# returns non-zero; the caller decides what a failure means.

readonly QVX_SERVICE_LIMIT_S=20

# service_state_is STATE: until `sc query brixwssvr` shows STATE.
service_state_is() {
  local deadline=$((SECONDS + QVX_SERVICE_LIMIT_S))
  until wine sc query brixwssvr | tr -d '\r' | grep -q "STATE.*$1"; do
    [ "$SECONDS" -lt "$deadline" ] || { echo "brixwssvr never $1" >&2 && return 1; }
    sleep 0.1
  done
}

# service_start PROGRAM: installs and starts it; returns once it serves a
# page's CheckConnection (QVXWSS is the Linux qvxwss), printing the reply.
service_start() {
  local program=$1 qvxwss=$2 reply
  wine "$program" -install || { echo "brixwssvr -install failed" >&2 && return 1; }
  wine sc start brixwssvr >/dev/null || { echo "sc start failed" >&2 && return 1; }
  service_state_is RUNNING || return 1
  local deadline=$((SECONDS + QVX_SERVICE_LIMIT_S))
  until reply=$(service_page "$qvxwss" '{"Name":1,"Params":[]}' 2>&1); do
    [ "$SECONDS" -lt "$deadline" ] || { echo "no endpoint: $reply" >&2 && return 1; }
    sleep 0.1
  done
  echo "CheckConnection through the service:"
  echo "$reply"
  grep -q '^< Status=0$' <<<"$reply" || { echo "CheckConnection did not succeed" >&2 && return 1; }
}

# service_page QVXWSS REQUEST: one request of a page to the service.
service_page() {
  "$1" --port "$QVX_WSS_PORTS" --timeout 60 "$2"
}

# service_stop PROGRAM: stops and uninstalls it.
service_stop() {
  wine sc stop brixwssvr >/dev/null || { echo "sc stop failed" >&2 && return 1; }
  service_state_is STOPPED || return 1
  wine "$1" -uninstall || { echo "brixwssvr -uninstall failed" >&2 && return 1; }
}
