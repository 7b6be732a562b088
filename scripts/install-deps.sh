#!/usr/bin/env bash
# The one place that knows which Debian packages the build, the tests and the
# program need. Installs only what is missing, so a second run costs nothing.
#
# scripts/install-deps.sh --windows: also (only) what the Windows cross build
# of the serial device and its test under Wine need. Kept apart because it is
# large (about a gigabyte with the cross compilers) and only that one check
# uses it: building and running the program here never does.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libgl-dev libxcb1-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-liberation fontconfig
  xvfb xauth x11-utils xdotool xclip imagemagick
  clang libclang-rt-14-dev llvm
  cups cups-client cups-bsd printer-driver-cups-pdf poppler-utils
  # The Debian package: its build, lint and checks.
  dpkg-dev file librsvg2-bin lintian desktop-file-utils appstream
  # libxlsxwriter links with -lz, yet its -dev package does not bring zlib's.
  zlib1g-dev
  util-linux procps
  libxlsxwriter-dev python3-openpyxl
  # Qt's own texts (file dialogs, standard buttons) in Spanish.
  qt6-translations-l10n
  clang-format clang-tidy graphviz
)
WINDOWS_PACKAGES=(
  mingw-w64 wine python3
)
if [ "${1:-}" = "--windows" ]; then
  PACKAGES=("${WINDOWS_PACKAGES[@]}")
fi

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
