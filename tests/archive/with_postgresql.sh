#!/usr/bin/env bash
# Runs a command against a throwaway PostgreSQL server: a cluster made with
# initdb in a temporary folder, listening on a socket in that folder only,
# stopped and removed at the end whatever the command did. The command finds
# the server in TALVEX_TEST_POSTGRESQL, where it may make databases:
#
#   tests/archive/with_postgresql.sh build/bin/test_archive
#
# The server refuses to run as root, so under root it runs as nobody.
set -euo pipefail
[[ $# -gt 0 ]] || {
  echo "with_postgresql: which command? (for example build/bin/test_archive)" >&2
  exit 2
}
bindir="$(pg_config --bindir 2>/dev/null || true)"
[[ -x "$bindir/initdb" ]] || bindir="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)"
[[ -x "$bindir/initdb" ]] || {
  echo "with_postgresql: no PostgreSQL server here (Debian's postgresql package)" >&2
  exit 2
}
dir="$(mktemp -d "${TMPDIR:-/tmp}/talvex-pg.XXXXXX")"
as=()
if [[ "$(id -u)" -eq 0 ]]; then
  chown nobody "$dir"
  as=(runuser -u nobody --)
fi
cleanup() {
  "${as[@]}" "$bindir/pg_ctl" -D "$dir/data" -m immediate stop >/dev/null 2>&1 || true
  rm -rf "$dir"
}
trap cleanup EXIT
(cd "$dir" && "${as[@]}" "$bindir/initdb" -D "$dir/data" -A trust -U talvex -E UTF8 >"$dir/initdb.log" 2>&1) || {
  cat "$dir/initdb.log" >&2
  exit 1
}
(cd "$dir" && "${as[@]}" "$bindir/pg_ctl" -D "$dir/data" -w -l "$dir/server.log" \
  -o "-k $dir -c listen_addresses='' -c fsync=off" start >/dev/null) || {
  cat "$dir/server.log" >&2
  exit 1
}
export TALVEX_TEST_POSTGRESQL="postgresql://talvex@/postgres?host=$dir"
"$@"
