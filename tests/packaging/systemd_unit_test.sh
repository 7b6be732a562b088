#!/usr/bin/env bash
# The recording service as the package installs it: systemd reads the unit
# template without a complaint for an instance (a port), its command line is
# one talvex-cli accepts, and the manual page names it. Skipped (77) where
# systemd-analyze is missing.
#   systemd_unit_test.sh UNIT_TEMPLATE_IN TALVEX_CLI MANUAL_PAGE
set -uo pipefail
template=$1 cli=$2 page=$3
command -v systemd-analyze >/dev/null || { echo "SKIP: no systemd-analyze (scripts/install-deps.sh installs it)"; exit 77; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failed=0
fail() {
  echo "FAIL: $*"
  failed=1
}

unit="$work/units/talvex-registro@.service"
mkdir -p "$work/units" "$work/run"
chmod 700 "$work/run"
sed "s#@TALVEX_UNIT_CLI@#$cli#" "$template" >"$unit"
grep -q '@[A-Z_]*@' "$unit" && fail "the unit keeps a placeholder: $(grep -o '@[A-Z_]*@' "$unit" | head -1)"
ln -s "talvex-registro@.service" "$work/units/talvex-registro@ttyUSB0.service"
# A user manager needs a runtime folder; a container may have none.
out="$(XDG_RUNTIME_DIR="$work/run" systemd-analyze verify --user --man=no "$work/units/talvex-registro@ttyUSB0.service" 2>&1)"
rc=$?
if ((rc != 0)) || [[ -n "$out" ]]; then
  if grep -q "Failed to initialize manager\|Failed to lookup RuntimeDirectory" <<<"$out"; then
    echo "SKIP: no systemd user manager can be set up here: $out"
    exit 77
  fi
  fail "systemd-analyze verify: $out"
fi

# The command the unit runs, as systemd would split it, is one the parser
# takes (asked for its help, so no port is opened).
exec_line="$(sed -n 's/^ExecStart=//p' "$unit" | sed 's#%I#ttyUSB0#; s#\$TALVEX_REGISTRO_OPCIONES#--interval 60#')"
read -r -a words <<<"$exec_line"
[[ "${words[0]}" == "$cli" ]] || fail "the unit runs ${words[0]}, not $cli"
"${words[@]}" --help >/dev/null 2>&1 || fail "talvex-cli refuses the unit's command line: $exec_line"
grep -q '^SuccessExitStatus=11' "$unit" || fail "stopping with readings in the queue (11) would count as the service failing"

grep -qF 'talvex\-registro@.service' "$page" || fail "talvex-cli(1) does not name the service"
grep -qF 'enable\-linger' "$page" || fail "talvex-cli(1) does not say how to keep it running without a login"
exit $failed
