#!/usr/bin/env bash
# Installs everything the project needs on a bare Debian 12: compiler, CMake and every library.
# With --e2e, also the browser tests' driver from npm (only `make test` asks for it: building and
# running never depend on the npm registry). Idempotent: a second run installs nothing when all is
# present.
set -euo pipefail

with_e2e=0
[ "${1:-}" = --e2e ] && with_e2e=1

packages=(
  build-essential g++ cmake make pkg-config git ca-certificates
  libsqlite3-dev sqlite3 libldap-dev libsasl2-dev libcrypt-dev libssl-dev
  nlohmann-json3-dev libcli11-dev libcpp-httplib-dev libfmt-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  slapd ldap-utils
  samba samba-ad-dc samba-ad-provision iproute2 util-linux openssl libgnutls28-dev
  nginx-light
  clang-16 libfuzzer-16-dev libclang-rt-16-dev
  ccache clang-format
  python3
  chromium nodejs
  debootstrap curl man-db procps
)
# Debian's npm conflicts with a nodejs that already carries its own (NodeSource's does).
command -v npm >/dev/null 2>&1 || packages+=(npm)

# The browser tests' driver comes from npm (locked in tests/e2e); the browser itself is Debian's.
install_e2e_modules() {
  [ "$with_e2e" = 1 ] || return 0
  local e2e
  e2e="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/tests/e2e"
  if [ -f "$e2e/package-lock.json" ] && [ ! -d "$e2e/node_modules" ] && command -v npm >/dev/null 2>&1; then
    (cd "$e2e" && npm ci --no-audit --no-fund --loglevel=error)
  fi
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -eq 0 ]; then
  install_e2e_modules
  exit 0
fi

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
# slapd must not configure (or start) a system directory server: the tests run their own.
echo "slapd slapd/no_configuration boolean true" | "${sudo_cmd[@]}" debconf-set-selections
# slapd, samba and nginx must not start system services on install: the tests run their own on
# loopback. A policy-rc.d that refuses every start does that for the length of the install only.
policy=/usr/sbin/policy-rc.d
own_policy=0
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' | "${sudo_cmd[@]}" tee "$policy" >/dev/null
  "${sudo_cmd[@]}" chmod 755 "$policy"
  own_policy=1
fi
cleanup_policy() { if [ "$own_policy" = 1 ]; then "${sudo_cmd[@]}" rm -f "$policy"; fi; }
trap cleanup_policy EXIT
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
# A package's postinst may have started a service despite the preseed; the tests want none.
if command -v service >/dev/null 2>&1; then
  for s in slapd samba-ad-dc smbd nmbd nginx; do "${sudo_cmd[@]}" service "$s" stop >/dev/null 2>&1 || true; done
fi
install_e2e_modules
