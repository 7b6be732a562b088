#!/usr/bin/env bash
# The manual pages against the programs they describe: every command, every
# option and every exit status a program's own help (and talvex-cli's
# command table) names is in its page, and man reads each page without a
# warning.
#   manual_test.sh MAN_SOURCE_DIR TALVEX TALVEX_CLI TALVEX_SIM
set -uo pipefail
pages=$1
shift
failed=0
fail() {
  echo "FAIL: $*"
  failed=1
}
man_form() { printf '%s' "${1//-/\\-}"; }  # how groff source writes a dash

for program in "$@"; do
  name="$(basename "$program")"
  page="$pages/$name.1.in"
  help="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --help 2>&1)"
  for option in $(grep -o -- '--[a-z][a-z-]*' <<<"$help" | sort -u) --version; do
    grep -qF -- "$(man_form "$option")" "$page" || fail "$name(1) does not name $option"
  done
done

cli="$2"
page="$pages/talvex-cli.1.in"
help="$("$cli" --help)"
for command in $(sed -n 's/^  talvex-cli \([a-z][a-z-]*\).*/\1/p' <<<"$help" | sort -u); do
  entry="$(man_form "$command")"
  grep -qxF ".B $entry" "$page" || grep -qF ".BR $entry " "$page" ||
    fail "talvex-cli(1) has no entry for the command $command"
done
# Every command and every spelling of every option of the command table the
# parser reads ("talvex-cli --list-options"), named in the page.
table="$("$cli" --list-options)"
[[ -n "$table" ]] || fail "talvex-cli --list-options printed nothing"
while read -r command options; do
  entry="$(man_form "$command")"
  grep -qxF ".B $entry" "$page" || grep -qF ".BR $entry " "$page" ||
    fail "talvex-cli(1) has no entry for the command $command of the table"
  for option in $options; do
    grep -qF -- "$(man_form "$option")" "$page" || fail "talvex-cli(1) does not name $option ($command)"
  done
done <<<"$table"
# The exit statuses the help lists ("Códigos de salida: 0 bien, 1 otro error, ...").
codes="$(sed -n '/^Códigos de salida/,$p' <<<"$help" | grep -oE '(^|[:,] ?)[0-9]+ [a-z]' | grep -oE '[0-9]+')"
[[ -n "$codes" ]] || fail "no exit statuses found in talvex-cli --help"
for code in $codes; do
  grep -qx "\.B $code" "$page" || fail "talvex-cli(1) does not list the exit status $code"
done

if command -v man >/dev/null; then
  for page in "$pages"/*.1.in; do
    warnings="$(man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)"
    [[ -z "$warnings" ]] || fail "man warns about $(basename "$page"): $warnings"
  done
fi
exit $failed
