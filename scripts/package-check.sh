#!/usr/bin/env bash
# The Debian package as a user gets it: builds it (scripts/package.sh), then
# builds it again from nothing and compares (a release is reproducible: the
# same bytes), lints it, validates its desktop entry and AppStream data,
# installs it with dpkg (apt-get fetching what is missing), runs the
# installed programs (the versions, the port list, a download by an ordinary
# user of the dialout group from the installed simulator on a linked
# pseudo-terminal, the window under a virtual X server), then purges it and
# checks that none of its files is left. Needs root.
#
#   scripts/package-check.sh
#
# The window's screenshot is kept as build-release/package-check.png.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
started=$SECONDS

say() { echo "package-check: $*" >&2; }
fail() {
  say "FAILED: $*"
  exit 1
}
[[ "$(id -u)" == 0 ]] || fail "needs root (dpkg -i, a link under /dev)"

work="$(mktemp -d /tmp/talvex-package-check.XXXXXX)"
chmod 0755 "$work"  # the ordinary user below writes in a folder of it
sim_pid="" xvfb_pid="" gui_pid="" link="" installed=0
stop() {  # pid: ends a process this script started and waits for it
  [[ -n "$1" ]] && kill -0 "$1" 2>/dev/null || return 0
  kill -TERM "$1" 2>/dev/null || true
  for _ in $(seq 1 50); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}
cleanup() {
  stop "$gui_pid"
  stop "$xvfb_pid"
  stop "$sim_pid"
  [[ -n "$link" && -L "$link" ]] && rm -f "$link"
  # A failed run must not leave the package on the machine either.
  ((installed)) && dpkg --purge talvex >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

./scripts/install-deps.sh --package-check

say "building the package"
built=$SECONDS
deb="$(scripts/package.sh | tail -n1)"
say "built in $((SECONDS - built)) s"
cp "$deb" "$work/first.deb"
say "building it again from nothing, to compare"
built=$SECONDS
rm -rf "$root/build-release"
deb="$(scripts/package.sh | tail -n1)"
say "built again in $((SECONDS - built)) s"
if ! cmp -s "$work/first.deb" "$deb"; then
  mkdir "$work/first" "$work/second"
  dpkg-deb -R "$work/first.deb" "$work/first"
  dpkg-deb -R "$deb" "$work/second"
  diff -rq "$work/first" "$work/second" >&2 || true
  diff <(dpkg-deb -c "$work/first.deb") <(dpkg-deb -c "$deb") >&2 || true
  fail "two builds of the same sources differ"
fi
say "two builds, the same $(stat -c %s "$deb") bytes"
release_epoch="$(date -u -d "$(sed -n 's/^set(TALVEX_RELEASE_DATE \(.*\))$/\1/p' CMakeLists.txt) 12:00:00" +%s)"
members="$(dpkg-deb --fsys-tarfile "$deb" | tar -t --full-time -v)"
[[ "$(awk '{print $6}' <<<"$members")" == "$(awk '{print $6}' <<<"$members" | LC_ALL=C sort)" ]] ||
  fail "the package's members are not in order"
[[ "$(awk '{print $4 " " $5}' <<<"$members" | sort -u)" == "$(date -u -d "@$release_epoch" '+%F %T')" ]] ||
  fail "not every member is dated at the release: $(awk '{print $4 " " $5}' <<<"$members" | sort -u | tr '\n' ' ')"
version="$(dpkg-deb -f "$deb" Version)"
say "$(basename "$deb"): $(stat -c %s "$deb") bytes, $(dpkg-deb -f "$deb" Installed-Size) kB installed"
say "Depends: $(dpkg-deb -f "$deb" Depends)"

say "lintian"
lintian --fail-on error --display-info "$deb" >"$work/lintian.txt" 2>&1 || lint_rc=$?
cat "$work/lintian.txt" >&2
[[ "${lint_rc:-0}" == 0 ]] || fail "lintian reports errors"

say "desktop entry and AppStream data, as packaged"
dpkg-deb -x "$deb" "$work/unpacked"
desktop-file-validate "$work/unpacked/usr/share/applications/talvex.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$work/unpacked/usr/share/metainfo/"*.metainfo.xml >&2 || fail "appstreamcli validate"
for file in usr/bin/talvex usr/bin/talvex-cli usr/bin/talvex-sim \
  usr/share/icons/hicolor/scalable/apps/talvex.svg usr/share/icons/hicolor/48x48/apps/talvex.png \
  usr/share/man/man1/talvex.1.gz usr/share/man/man1/talvex-cli.1.gz usr/share/man/man1/talvex-sim.1.gz \
  usr/share/bash-completion/completions/talvex-cli usr/share/doc/talvex/copyright; do
  [[ -s "$work/unpacked/$file" ]] || fail "/$file is not in the package"
done
[[ "$(identify -format '%wx%h' "$work/unpacked/usr/share/icons/hicolor/48x48/apps/talvex.png" 2>/dev/null)" == 48x48 ]] ||
  fail "the PNG icon is not 48 x 48"
for program in talvex talvex-cli talvex-sim; do
  ! readelf -S "$work/unpacked/usr/bin/$program" | grep -qE '\.comment|\.note[[:space:]]' ||
    fail "/usr/bin/$program keeps its .comment or .note section"
done

say "installing"
if dpkg-query -W -f='${Status}' talvex 2>/dev/null | grep -q 'ok installed'; then
  say "a talvex package is already installed: purging it first"
  dpkg --purge talvex >/dev/null
fi
installed=1
if ! dpkg -i "$deb" >&2; then
  say "dpkg -i left dependencies open: apt-get install -f"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q >&2
  apt-get install -f -y -q >&2
fi
dpkg-query -W -f='${Status}' talvex | grep -q 'install ok installed' || fail "talvex is not installed"

# From here on only the installed programs: nothing of the work tree.
cd "$work"
for program in talvex talvex-cli talvex-sim; do
  [[ "$(command -v "$program")" == "/usr/bin/$program" ]] || fail "$program is not found as /usr/bin/$program"
  # The window program answers --version without a display.
  got="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --version)" ||
    fail "$program --version failed"
  [[ "$got" == "$program $version" ]] || fail "$program --version printed \"$got\", not \"$program $version\""
done
say "--version: $version on all three programs"

say "a download by an ordinary user of the dialout group from the installed simulator, as the manual shows"
link="/dev/ttyTalvexCheck$$"
talvex-sim --link "$link" --group dialout --records 40 --interval 100 >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 1 50); do [[ -L "$link" ]] && break; sleep 0.1; done
[[ -L "$link" ]] || fail "talvex-sim made no link $link: $(cat "$work/sim.err")"
talvex-cli ports >"$work/ports.txt" || fail "talvex-cli ports failed"
cat "$work/ports.txt" >&2
grep -qx -- "$link" "$work/ports.txt" || fail "talvex-cli ports does not list the simulator's $link"
[[ "$(tail -n1 "$work/ports.txt")" == DEMO ]] || fail "DEMO is not the last port"
# nobody, with dialout for its only group besides its own.
as_user=(setpriv --reuid=nobody --regid=nogroup --groups=dialout env HOME="$work/user")
mkdir -m 0777 "$work/user"
timeout 120 "${as_user[@]}" talvex-cli download --port "$link" -o "$work/user/datos.txt" --verificar >&2 ||
  fail "talvex-cli download as an ordinary user failed (status $?)"
records=$(($(wc -l <"$work/user/datos.txt") - 2))
[[ "$records" == 40 ]] || fail "the saved file holds $records records, not 40"
talvex-cli stats "$work/user/datos.txt" --json | grep -q '"registros":40,' || fail "talvex-cli stats of the download"
# The download is in that user's own history archive, through the packaged
# program's SQLite driver.
"${as_user[@]}" talvex-cli archive list --json >"$work/archive.json" || fail "talvex-cli archive list as that user"
grep -q '"registros":40' "$work/archive.json" || fail "the download is not in the user's archive: $(cat "$work/archive.json")"
stop "$sim_pid"
sim_pid=""
[[ ! -e "$link" ]] || fail "talvex-sim left its link $link"

say "the window under Xvfb"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.err" &
xvfb_pid=$!
for _ in $(seq 1 100); do [[ -s "$work/display" ]] && break; sleep 0.1; done
[[ -s "$work/display" ]] || fail "Xvfb did not start: $(cat "$work/xvfb.err")"
export DISPLAY=":$(head -n1 "$work/display")"
talvex 2>"$work/talvex.err" &
gui_pid=$!
window=""
for _ in $(seq 1 300); do
  window="$(xdotool search --all --onlyvisible --pid "$gui_pid" --name 'CANALES DE TEMPERATURA' 2>/dev/null | head -n1 || true)"
  [[ -n "$window" ]] && break
  kill -0 "$gui_pid" 2>/dev/null || break
  sleep 0.1
done
[[ -n "$window" ]] || fail "talvex showed no main window: $(cat "$work/talvex.err")"
say "main window: $(xdotool getwindowname "$window")"
xprop -id "$window" WM_CLASS | grep -q '"talvex"' ||
  fail "the window's class is not the desktop entry's StartupWMClass: $(xprop -id "$window" WM_CLASS)"
sleep 1
import -window root "$root/build-release/package-check.png" 2>/dev/null || say "no screenshot (import failed)"
kill -0 "$gui_pid" 2>/dev/null || fail "talvex ended by itself: $(cat "$work/talvex.err")"
stop "$gui_pid"
gui_pid=""
stop "$xvfb_pid"
xvfb_pid=""
unset DISPLAY

say "bash completion of the installed talvex-cli"
completion() {  # words...: what completing the last word offers
  bash -c 'source /usr/share/bash-completion/completions/talvex-cli
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _talvex_cli talvex-cli; printf "%s\n" "${COMPREPLY[@]}"' _ "$@"
}
completion talvex-cli "" | grep -qx stats || fail "completion offers no commands"
completion talvex-cli live --port "" | grep -qx DEMO || fail "completion offers no ports"

say "purging"
dpkg-query -L talvex >"$work/files.txt"
say "installed files:"
while read -r path; do [[ -d "$path" ]] || echo "  $path"; done <"$work/files.txt" >&2
dpkg --purge talvex >&2
installed=0
if dpkg-query -W -f='${Status}' talvex 2>/dev/null | grep -q 'installed'; then fail "talvex is still installed"; fi
left=()
while read -r path; do
  [[ -z "$path" || "$path" == "/." ]] && continue
  if [[ -d "$path" && ! -L "$path" ]]; then
    # Folders are left only when another package owns them too.
    dpkg-query -S "$path" >/dev/null 2>&1 || left+=("$path")
  elif [[ -e "$path" || -L "$path" ]]; then
    left+=("$path")
  fi
done <"$work/files.txt"
for path in /var/lib/dpkg/info/talvex.*; do [[ -e "$path" ]] && left+=("$path"); done
((${#left[@]} == 0)) || fail "left after purging: ${left[*]}"

say "passed in $((SECONDS - started)) s"
