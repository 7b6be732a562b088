#!/usr/bin/env bash
# The one place that knows which Debian packages the build, the tests and the
# program need. Installs only what is missing, so a second run costs nothing.
#
# scripts/install-deps.sh --windows: also (only) what the Windows cross build
# of the serial device and its test under Wine need. Kept apart because it is
# large (about a gigabyte with the cross compilers) and only that one check
# uses it: building and running the program here never does.
#
# scripts/install-deps.sh --package: only what building the Debian package
# takes (scripts/package.sh), and --package-check that and what checking it
# takes (scripts/package-check.sh): no test, analysis or printing tools.
set -euo pipefail

# The program's Release build and the package made of it.
PACKAGE_BUILD=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libgl-dev libxcb1-dev
  # The history archive's engines: an embedded file, or a shared server.
  libqt6sql6-sqlite libqt6sql6-psql
  # The archive reads and writes many rows through SQLite's own library.
  libsqlite3-dev
  # libxlsxwriter links with -lz, yet its -dev package does not bring zlib's.
  libxlsxwriter-dev zlib1g-dev
  # The report's SHA-256 of the records, at the processor's own speed.
  libssl-dev
  dpkg-dev file librsvg2-bin gzip
)
# The package's lint and checks: the installed programs, the window under Xvfb.
PACKAGE_CHECK=(
  lintian desktop-file-utils appstream
  # systemd-analyze, for the recording service's unit.
  systemd
  xvfb xauth x11-utils xdotool imagemagick
)
PACKAGES=(
  "${PACKAGE_BUILD[@]}" "${PACKAGE_CHECK[@]}"
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-liberation fontconfig
  xclip
  clang libclang-rt-14-dev llvm
  cups cups-client cups-bsd printer-driver-cups-pdf poppler-utils
  util-linux procps
  python3-openpyxl
  # The archive's tests run on a throwaway PostgreSQL server as well.
  postgresql
  # The alarm notifications' tests start a session bus of their own (Qt
  # D-Bus itself comes with qt6-base-dev).
  dbus-daemon
  # Qt's own texts (file dialogs, standard buttons) in Spanish.
  qt6-translations-l10n
  clang-format clang-tidy graphviz
)
WINDOWS_PACKAGES=(
  mingw-w64 wine python3
)
case "${1:-}" in
  --windows) PACKAGES=("${WINDOWS_PACKAGES[@]}") ;;
  --package) PACKAGES=("${PACKAGE_BUILD[@]}") ;;
  --package-check) PACKAGES=("${PACKAGE_BUILD[@]}" "${PACKAGE_CHECK[@]}") ;;
  "") ;;
  *)
    echo "install-deps: unknown option $1 (--windows, --package, --package-check)" >&2
    exit 2
    ;;
esac

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
echo "Installing: ${missing[*]}" >&2
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
