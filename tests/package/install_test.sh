#!/usr/bin/env bash
# The Debian package as an admin meets it: built (unoptimised: nothing checked here depends on it),
# installed with apt-get into a fresh Debian 12 minbase chroot, `serve` started exactly as the
# systemd unit would, and signed in through the pages. The minbase system is bootstrapped once per
# machine into the cache; each run unpacks a copy. Needs root. Exit 77: skipped.
set -euo pipefail

source_dir="${BRINDLECORE_SOURCE_DIR:?}"
package_dir="${BRINDLECORE_PACKAGE_BUILD_DIR:-$source_dir/build-package-test}"
cache_dir="${XDG_CACHE_HOME:-$HOME/.cache}/brindlecore"
base_tar="$cache_dir/bookworm-minbase.tar"
skip() { echo "skipped: $*"; exit 77; }
fail() { echo "FAIL: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || skip "installing a package into a chroot needs root"
for tool in debootstrap unshare pkill curl cpack; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (make setup)"
done

echo "== building the package in $package_dir"
cmake -S "$source_dir" -B "$package_dir" -DCMAKE_BUILD_TYPE="${BRINDLECORE_PACKAGE_BUILD_TYPE:-Debug}" \
  -DBRINDLECORE_TESTS=OFF -DBRINDLECORE_BENCH=OFF >/dev/null
cmake --build "$package_dir" -j "$(nproc)" >/dev/null
(cd "$package_dir" && rm -f ./*.deb && cpack -G DEB >/dev/null)
deb=$(ls "$package_dir"/brindlecore_*_amd64.deb)
[ "$(wc -l <<<"$deb")" -eq 1 ] || fail "not one package: $deb"

mkdir -p "$cache_dir"
(
  flock 9
  if [ ! -s "$base_tar" ]; then
    echo "== bootstrapping Debian 12 minbase into the cache (once per machine)"
    staging=$(mktemp -d /var/tmp/brindlecore-bootstrap.XXXXXX)
    trap 'rm -rf "$staging"' EXIT
    debootstrap --variant=minbase bookworm "$staging/root" >"$staging/log" 2>&1 ||
      { tail -20 "$staging/log"; fail "debootstrap"; }
    rm -f "$staging"/root/var/cache/apt/archives/*.deb
    tar -C "$staging/root" -cf "$base_tar.part" . && mv "$base_tar.part" "$base_tar"
  fi
) 9>"$cache_dir/bootstrap.lock"

chroot_dir=$(mktemp -d /var/tmp/brindlecore-chroot.XXXXXX)
ns_pid=""
cleanup() {
  # unshare ignores SIGTERM while it waits for its child, and serve no longer gets --kill-child's
  # signal once chroot has changed its user: serve is ended itself, and unshare ends with it.
  if [ -n "$ns_pid" ]; then
    pkill -TERM -P "$ns_pid" 2>/dev/null || true
    wait "$ns_pid" 2>/dev/null || true
  fi
  rm -rf "$chroot_dir"
}
trap cleanup EXIT
tar -C "$chroot_dir" -xf "$base_tar"
cp /etc/resolv.conf "$chroot_dir/etc/resolv.conf"
cp "$deb" "$chroot_dir/tmp/"

# A mount and PID namespace of its own: /proc is mounted for the chroot only, and whatever the
# chroot started ends with it. Followed by chroot's options (--userspec), the chroot, the command.
enter_chroot=(unshare --mount --pid --fork --kill-child -- bash -c '
    mount -t proc proc "$1/proc" && shift && exec chroot "$@"' _ "$chroot_dir")
in_chroot() { "${enter_chroot[@]}" "$chroot_dir" "$@"; }

echo "== apt-get install ./$(basename "$deb")"
in_chroot env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
  "./tmp/$(basename "$deb")" >"$chroot_dir/apt.log" 2>&1 || { tail -30 "$chroot_dir/apt.log"; fail "apt-get"; }
grep -q "Registered /usr/lib/brindlecore/libBrindlecore.so" "$chroot_dir/apt.log" ||
  { cat "$chroot_dir/apt.log"; fail "postinst did not register the component"; }

# What the maintainer scripts and install rules left.
in_chroot getent passwd brindlecore | grep -q ":/var/lib/brindlecore:/usr/sbin/nologin$" ||
  fail "no system user brindlecore"
owners=$(in_chroot stat -c '%U %a %n' /var/lib/brindlecore /var/lib/brindlecore/accounts.db \
  /var/lib/brindlecore/metabase.db /var/lib/brindlecore/registry.json)
[ "$(cut -d' ' -f1 <<<"$owners" | sort -u)" = brindlecore ] &&
  grep -q "^brindlecore 700 /var/lib/brindlecore$" <<<"$owners" ||
  fail "the root is not the service user's alone: $owners"
for page in man1/brindlecore.1.gz man5/platform.conf.5.gz; do
  [ -s "$chroot_dir/usr/share/man/$page" ] || fail "no manual page $page"
  if command -v man >/dev/null; then
    warnings=$(MANWIDTH=80 man --warnings -l "$chroot_dir/usr/share/man/$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$page: $warnings"
  fi
done
unit="$chroot_dir/usr/lib/systemd/system/brindlecore.service"
[ -f "$unit" ] || fail "no unit"

# The first admin, made as root through the installed command (which acts as the root's owner).
computer=$(in_chroot brindlecore computer list)
printf 'pa55word\n' | in_chroot brindlecore user add "$computer" admin --password-stdin >/dev/null
in_chroot brindlecore group addmember "$computer" Administrators admin >/dev/null

# `serve` as the unit starts it: its user, environment and command line, on a free port. Started
# as a simple command, so $! is unshare itself (through a function, $! was a subshell, and ending
# that left serve running, holding every file the test inherited).
user=$(sed -n 's/^User=//p' "$unit")
mapfile -t environment < <(sed -n 's/^Environment=//p' "$unit")
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
read -r -a command <<<"${exec_start//'${BRINDLECORE_LISTEN}'/127.0.0.1:0}"
"${enter_chroot[@]}" --userspec="$user:$user" "$chroot_dir" /usr/bin/env -i "${environment[@]}" \
  "${command[@]}" >"$chroot_dir/serve.out" 2>"$chroot_dir/serve.err" &
ns_pid=$!
port=""
for _ in $(seq 100); do
  port=$(sed -n 's|.*http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$chroot_dir/serve.out")
  [ -n "$port" ] && break
  kill -0 "$ns_pid" 2>/dev/null || { cat "$chroot_dir/serve.err"; fail "serve ended"; }
  sleep 0.1
done
[ -n "$port" ] || { cat "$chroot_dir/serve.err"; fail "serve did not say where it listens"; }

base="http://127.0.0.1:$port"
curl -fsS "$base/login.asp" | grep -q 'action=login.asp' || fail "no sign-in page"
signed_in=$(curl -sS -o /dev/null -w '%{http_code} %{redirect_url}' -H "Origin: $base" \
  --data-urlencode username=admin --data-urlencode password=pa55word \
  --data-urlencode "directory=WinNT://$computer" --data-urlencode login_type=ServerAdministrator "$base/login.asp")
[ "$signed_in" = "303 $base/ProfileAdministrators.asp" ] || fail "sign-in answered $signed_in"
echo "package $(basename "$deb") installed, served and signed in"
