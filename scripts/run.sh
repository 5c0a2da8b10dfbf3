#!/usr/bin/env bash
# Installs what is missing, builds, starts the demo bank (unless one is already running)
# and the program on the demo profiles file; when the program ends, stops the bank it
# started.
#
# VELTON_SKIP_BUILD=1  neither installs nor builds
# VELTON_PROGRAM       the program to run (default build/velton-export); it gets the
#                      demo profiles file as its argument
# and the variables of scripts/demo-bank.sh (build folder, demo folder, ports).
set -euo pipefail
cd "$(dirname "$0")/.."
export VELTON_BUILD_DIR="${VELTON_BUILD_DIR:-$PWD/build}"
VELTON_DEMO_DIR="${VELTON_DEMO_DIR:-$VELTON_BUILD_DIR/demo}"
export VELTON_DEMO_DIR="${VELTON_DEMO_DIR%/}"
if [ -z "${VELTON_SKIP_BUILD:-}" ]; then
  bash scripts/setup.sh
  bash scripts/build.sh -DVELTON_TESTS=OFF
fi

started=0
bash scripts/demo-bank.sh start || started=$?
case "$started" in
  0) trap 'bash scripts/demo-bank.sh stop' EXIT ;;
  10) echo "Программа работает с уже запущенным демо-банком; он останется работать." ;;
  *) exit "$started" ;;
esac

# The program runs as a child, so that the bank is stopped however it ends; a Ctrl+C or
# a SIGTERM to this script ends the program first.
"${VELTON_PROGRAM:-$VELTON_BUILD_DIR/velton-export}" "$VELTON_DEMO_DIR/velton.ini" &
program=$!
trap 'kill -TERM "$program" 2>/dev/null || true' INT TERM HUP
while :; do
  code=0
  wait "$program" || code=$?
  kill -0 "$program" 2>/dev/null || break
done
exit "$code"
