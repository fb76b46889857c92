# shellcheck shell=bash
# What the package tests share: their checks, and the bank's web site with
# a certificate from a stand-in public authority. Sourced; needs $work.

failures=0
fail() { echo "FAIL: $*"; exit 1; }
check() {  # DESCRIPTION COMMAND...: counts a failure, goes on
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
step() { printf '\n== %s\n' "$*"; }

# make_bank_site NAME: $work/web-ca.pem, a stand-in public authority that may
# vouch for NAME only, and $work/page-cert.pem / page-key.pem it issued for NAME.
make_bank_site() {
  local name=$1
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
    -keyout "$work/web-ca.key" -out "$work/web-ca.pem" -subj "/CN=Stand-in public web authority" \
    -addext "basicConstraints=critical,CA:TRUE,pathlen:0" -addext "keyUsage=critical,keyCertSign" \
    -addext "nameConstraints=critical,permitted;DNS:$name" >/dev/null 2>&1
  openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj "/CN=$name" \
    -keyout "$work/page-key.pem" -out "$work/page.csr" >/dev/null 2>&1
  openssl x509 -req -in "$work/page.csr" -CA "$work/web-ca.pem" -CAkey "$work/web-ca.key" -days 2 \
    -extfile <(printf 'subjectAltName=DNS:%s\nextendedKeyUsage=serverAuth\n' "$name") \
    -out "$work/page-cert.pem" >/dev/null 2>&1
}

# trust_public_web DB: the stand-in authority in an NSS database (made when
# missing), as a customer's browser trusts the public authorities.
trust_public_web() {
  mkdir -p "$1"
  [ -f "$1/cert9.db" ] || certutil -N -d "sql:$1" --empty-password
  certutil -A -d "sql:$1" -n "Stand-in public web authority" -t "C,," -i "$work/web-ca.pem"
}

# serve_bank_site ROOT ADDRESS: the page's server in the background; sets
# page_pid and page_port.
serve_bank_site() {
  python3 "$1/demo/test/serve-https.py" --root "$1/demo/www" --cert "$work/page-cert.pem" \
    --key "$work/page-key.pem" --address "$2" --port-file "$work/page.port" 2>>"$work/page.log" &
  page_pid=$!
  local tries=0
  while [ ! -s "$work/page.port" ]; do
    kill -0 "$page_pid" 2>/dev/null && [ "$tries" -lt 100 ] || fail "the page's server did not start"
    sleep 0.1
    tries=$((tries + 1))
  done
  page_port=$(cat "$work/page.port")
}
