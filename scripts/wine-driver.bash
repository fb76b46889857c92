# The reader driver under Wine over the emulated device, for test scripts
# (sourced; bash). The Linux build's qvxsim --usb emulates the device,
# qvxrdr.sys is installed from its INF into the prefix's inf folder (the
# binary beside it: setupapi retries for ever on a missing CopyFiles
# source), and one Wine session, the keeper, stays alive under umockdev's
# preload so that wineusb.sys finds the device and winedevice keeps the
# driver loaded (Wine stops winedevice with the session's last process).
# The driver's debug lines arrive on Wine's debugstr channel; waiting for
# them is the handshake with the driver.
#
#   qvx_driver_up WORK LINUX_BUILD SYS INF
#       WORK: an empty folder of the caller's; returns once unit 0 has
#       started. Exports UMOCKDEV_DIR, LD_PRELOAD and WINEDEBUG for every
#       Wine process the caller starts, and QVX_DRIVER_SIM_CONTROL.
#   qvx_driver_down [STATUS]
#       ends the session and the device; with a STATUS other than 0 prints
#       the driver's, Wine's and the device's logs first.
#   qvx_driver_sim ARG...        a control line to the emulated device
#   qvx_driver_wait_line TEXT [COUNT]
#   qvx_driver_wait_state NAME=VALUE
#
# Each wait gives up after QVX_DRIVER_LIMIT_S seconds, saying what did not
# come, and returns 1: never a hang.

readonly QVX_DRIVER_PRELOAD=libumockdev-preload.so.0
QVX_DRIVER_LIMIT_S=${QVX_DRIVER_LIMIT_S:-90}
qvx_driver_work= qvx_driver_linux= qvx_driver_sim_pid= qvx_driver_keeper_pid= qvx_driver_keeper_fd=

# 0 when the driver lane can run here, else 1 with the reason printed.
qvx_driver_available() {
  [ -x "$1/simulator/qvxsim" ] || { echo "no Linux build with qvxsim at '$1'"; return 1; }
  # Not grep -q: under pipefail, ldconfig would die of the closed pipe.
  ldconfig -p | grep -c "$QVX_DRIVER_PRELOAD" >/dev/null ||
    { echo "umockdev's preload ($QVX_DRIVER_PRELOAD) is not installed"; return 1; }
}

qvx_driver_sim() { "$qvx_driver_linux/simulator/qvxsim" ctl "$QVX_DRIVER_SIM_CONTROL" "$@"; }

qvx_driver_wait_line() {
  local text=$1 count=${2:-1} tries=0
  while [ "$(grep -cF "$text" "$qvx_driver_work/wine.log" 2>/dev/null || true)" -lt "$count" ]; do
    if ! kill -0 "$qvx_driver_keeper_pid" 2>/dev/null; then
      echo "the Wine session ended before '$text'" >&2
      return 1
    fi
    if [ "$tries" -ge $((QVX_DRIVER_LIMIT_S * 20)) ]; then
      echo "no '$text' (x$count) within ${QVX_DRIVER_LIMIT_S} s" >&2
      return 1
    fi
    sleep 0.05
    tries=$((tries + 1))
  done
}

qvx_driver_wait_state() {
  local word=$1 tries=0
  until qvx_driver_sim state | grep -qw -- "$word"; do
    if [ "$tries" -ge $((QVX_DRIVER_LIMIT_S * 20)) ]; then
      echo "the device never reached $word" >&2
      return 1
    fi
    sleep 0.05
    tries=$((tries + 1))
  done
}

qvx_driver_up() {
  local sys=$3 inf=$4 tries
  qvx_driver_work=$1 qvx_driver_linux=$2
  [ -n "${WINEPREFIX:-}" ] || { echo "no WINEPREFIX for the driver" >&2; return 1; }
  export QVX_DRIVER_SIM_CONTROL=$qvx_driver_work/sim.ctl
  setsid "$qvx_driver_linux/simulator/qvxsim" --usb --control "$QVX_DRIVER_SIM_CONTROL" \
    --usb-testbed-link "$qvx_driver_work/sim.testbed" </dev/null >"$qvx_driver_work/sim.log" 2>&1 &
  qvx_driver_sim_pid=$!
  for ((tries = 0; tries < 200; tries++)); do
    [ -L "$qvx_driver_work/sim.testbed" ] && [ -S "$QVX_DRIVER_SIM_CONTROL" ] && break
    kill -0 "$qvx_driver_sim_pid" 2>/dev/null || { echo "qvxsim --usb did not start" >&2; return 1; }
    sleep 0.05
  done
  [ -L "$qvx_driver_work/sim.testbed" ] || { echo "qvxsim --usb made no testbed" >&2; return 1; }

  [ -f "$sys" ] && [ -f "$inf" ] || { echo "no driver to install ($sys, $inf)" >&2; return 1; }
  cp "$inf" "$sys" "$WINEPREFIX/drive_c/windows/inf/"

  export UMOCKDEV_DIR LD_PRELOAD=$QVX_DRIVER_PRELOAD${LD_PRELOAD:+:$LD_PRELOAD}
  UMOCKDEV_DIR=$(readlink "$qvx_driver_work/sim.testbed")
  export WINEDEBUG=warn+debugstr,-fixme
  mkfifo "$qvx_driver_work/keeper.in"
  wine cmd /c "set /p line=" <"$qvx_driver_work/keeper.in" >"$qvx_driver_work/wine.log" 2>&1 &
  qvx_driver_keeper_pid=$!
  exec {qvx_driver_keeper_fd}>"$qvx_driver_work/keeper.in"

  qvx_driver_wait_line "Meridel driver 1.0.2.4 " &&
    qvx_driver_wait_line "Meridel: unit 0 added" &&
    qvx_driver_wait_line "Meridel: unit 0 started"
}

qvx_driver_down() {
  local status=${1:-0}
  # The session ends with its keeper; wineserver -k ends what is left.
  if [ -n "$qvx_driver_keeper_fd" ]; then exec {qvx_driver_keeper_fd}>&-; fi
  [ -n "$qvx_driver_keeper_pid" ] && kill "$qvx_driver_keeper_pid" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  [ -n "$qvx_driver_sim_pid" ] && kill "$qvx_driver_sim_pid" 2>/dev/null || true
  [ -n "$qvx_driver_sim_pid" ] && wait "$qvx_driver_sim_pid" 2>/dev/null || true
  if [ "$status" -ne 0 ] && [ -n "$qvx_driver_work" ]; then
    echo "--- driver and Wine log ---" >&2
    grep -v ':fixme:' "$qvx_driver_work/wine.log" >&2 2>/dev/null || true
    echo "--- simulator log ---" >&2
    cat "$qvx_driver_work/sim.log" >&2 2>/dev/null || true
  fi
  qvx_driver_keeper_pid= qvx_driver_sim_pid= qvx_driver_keeper_fd=
}
