#!/usr/bin/env bash
# talvex-cli's bash completion against the program it completes: the
# commands of its help text, for each command exactly the options its
# parser takes, the ports "talvex-cli ports" lists (a simulator's link
# included), the rates, the CSV styles and file names where files go.
#   completion_test.sh COMPLETION_FILE TALVEX_CLI TALVEX_SIM
set -uo pipefail
completion_file=$1 cli=$2 sim=$3
# shellcheck source=/dev/null
source "$completion_file"
failed=0

# What completing the last word offers, sorted, one a line.
offers() {
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMPREPLY=()
  _talvex_cli "$cli"
  ((${#COMPREPLY[@]})) && printf '%s\n' "${COMPREPLY[@]}" | sort
}
expect() {  # what, expected lines, actual lines
  if [[ "$2" != "$3" ]]; then
    echo "FAIL: $1"
    echo "  expected: $(echo $2)"
    echo "  offered:  $(echo $3)"
    failed=1
  fi
}
sorted() { printf '%s\n' "$@" | sort; }

help="$("$cli" --help)"
commands=($(sed -n 's/^  talvex-cli \([a-z][a-z-]*\).*/\1/p' <<<"$help" | sort -u))
expect "the commands of the help text" "$(sorted "${commands[@]}" --help --version)" "$(offers talvex-cli "")"
expect "commands by prefix" "$(sorted status stats)" "$(offers talvex-cli st)"

# Every option, each tried on every command: the parser takes it exactly
# when the completion offers it. The option comes with a word after it (its
# value, or a stray argument) and then --help, so that nothing runs: the
# parser either refuses the option by name or stops at something else.
# The options tried: those the help text names and those offered anywhere.
options=($( (grep -o -- '--[a-z][a-z-]*' <<<"$help"; for c in "${commands[@]}"; do offers talvex-cli "$c" -; done) |
  sort -u | grep -vx -- '--help\|--version\|-h'))
for command in "${commands[@]}"; do
  accepted=()
  for option in "${options[@]}"; do
    refusal="$("$cli" "$command" "$option" x --help 2>&1 >/dev/null)"
    [[ "$refusal" == *"no admite la opción"* ]] || accepted+=("$option")
  done
  expect "the options of $command" "$(sorted "${accepted[@]}" --help)" "$(offers talvex-cli "$command" -)"
done
# The program's own command table ("talvex-cli --list-options", the table
# its parser reads): the completion offers its commands, and for each exactly
# its options.
table="$("$cli" --list-options)"
[[ -n "$table" ]] || { echo "FAIL: talvex-cli --list-options printed nothing"; failed=1; }
expect "the commands of the table" "$(sorted $(cut -d' ' -f1 <<<"$table") --help --version)" "$(offers talvex-cli "")"
while read -r command table_options; do
  expect "the table's options of $command" "$(sorted $table_options)" "$(offers talvex-cli "$command" -)"
done <<<"$table"
expect "an option given is not offered again" "$(sorted --count --port --timeout -n -p --help)" \
  "$(offers talvex-cli live --json -)"

ports="$("$cli" ports | sort)"
expect "ports after --port" "$ports" "$(offers talvex-cli live --port "")"
expect "ports after --port=" "$ports" "$(offers talvex-cli status --port = "")"
expect "ports by prefix after -p" "DEMO" "$(offers talvex-cli download -p DE)"
expect "rates" "$(sorted 15 30 60)" "$(offers talvex-cli set-rate --port DEMO "")"
expect "CSV styles" "$(sorted comma semicolon)" "$(offers talvex-cli convert datos.txt --csv "")"
expect "nothing to offer for a number" "" "$(offers talvex-cli live --count "")"

# A simulator linked under /dev shows up among the ports offered.
if [[ -w /dev ]]; then
  link="/dev/ttyTalvexCompletion$$"
  "$sim" --link "$link" >/dev/null 2>&1 &
  sim_pid=$!
  for _ in $(seq 1 50); do [[ -L "$link" ]] && break; sleep 0.1; done
  case "$(offers talvex-cli live --port /dev/ttyTalvexCompletion)" in
    *"$link"*) ;;
    *) echo "FAIL: the simulator's link $link is not offered as a port"; failed=1 ;;
  esac
  kill -TERM "$sim_pid"
  wait "$sim_pid"
fi

# File names where a file goes.
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT
cd "$dir" && touch datos.txt datos.csv otro.xlsx
expect "files to convert" "$(sorted datos.csv datos.txt)" "$(offers talvex-cli convert dat)"
expect "files for -o" "otro.xlsx" "$(offers talvex-cli download --port DEMO -o ot)"
expect "files for --raw" "$(sorted datos.csv datos.txt)" "$(offers talvex-cli download --raw da)"
exit $failed
