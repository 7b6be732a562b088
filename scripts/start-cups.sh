#!/usr/bin/env bash
# Makes sure a print server runs and offers a PDF queue, so the printing
# tests go through a real printer. Never fails: without CUPS (no package, no
# permission, a sandbox that forbids the daemon) it says so and the printer
# tests skip themselves with their own message.
QUEUE="${TALVEX_PDF_QUEUE:-TalvexPDF}"

say() { echo "start-cups: $*" >&2; }

if ! command -v cupsd >/dev/null 2>&1 || ! command -v lpadmin >/dev/null 2>&1; then
  say "CUPS is not installed; printer tests will be skipped."
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then SUDO="sudo -n"; fi
fi

server_up() { lpstat -r 2>/dev/null | grep -qi "is running"; }

if ! server_up; then
  # cupsd forks itself into the background; the directories it wants may be
  # missing on a fresh container.
  $SUDO mkdir -p /run/cups /var/spool/cups /var/cache/cups /var/log/cups 2>/dev/null
  if ! $SUDO cupsd >/dev/null 2>&1; then
    say "cupsd could not be started; printer tests will be skipped."
    exit 0
  fi
  for _ in $(seq 1 50); do
    server_up && break
    sleep 0.1
  done
  if ! server_up; then
    say "cupsd did not answer; printer tests will be skipped."
    exit 0
  fi
fi

if ! lpstat -p "$QUEUE" >/dev/null 2>&1; then
  # The model the PDF backend ships with; fall back to whatever PDF model
  # this CUPS knows.
  model=""
  if lpinfo -m 2>/dev/null | grep -q '^lsb/usr/cups-pdf/CUPS-PDF_opt.ppd'; then
    model="lsb/usr/cups-pdf/CUPS-PDF_opt.ppd"
  else
    model="$(lpinfo -m 2>/dev/null | grep -i 'cups-pdf' | head -n1 | cut -d' ' -f1)"
  fi
  if [ -z "$model" ]; then
    say "no PDF printer model found (printer-driver-cups-pdf missing?); printer tests will be skipped."
    exit 0
  fi
  if ! $SUDO lpadmin -p "$QUEUE" -E -v cups-pdf:/ -m "$model" >/dev/null 2>&1; then
    say "could not add the queue $QUEUE; printer tests will be skipped."
    exit 0
  fi
  $SUDO cupsenable "$QUEUE" >/dev/null 2>&1
  $SUDO cupsaccept "$QUEUE" >/dev/null 2>&1
fi

say "print server running with the PDF queue $QUEUE."
exit 0
