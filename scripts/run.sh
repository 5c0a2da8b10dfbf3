#!/usr/bin/env bash
# Installs what is missing, builds, starts the demo bank (unless one is already running)
# and the program on the demo profiles file; when the program has ended for good, stops
# the bank it started. The self-update ends the program and starts it again: the bank
# stays up while a program holds the demo profiles file or a restart on it is pending.
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

program_file="${VELTON_PROGRAM:-$VELTON_BUILD_DIR/velton-export}"
profiles="$(realpath -m "$VELTON_DEMO_DIR/velton.ini")"
# The program holds this lock for its whole run, beside the profiles file it opened.
profiles_lock="$(dirname "$profiles")/.$(basename "$profiles").lock"
# Before the self-update starts the update program, the program leaves its restart state
# (its own path with the extension .rst) naming the profiles file; the restarted program
# takes the lock and then removes that file.
restart_state() {
  local path name
  path="$(realpath -m "$program_file")"
  name="$(basename "$path")"
  case "$name" in ?*.*) name="${name%.*}" ;; esac
  echo "$(dirname "$path")/$name.rst"
}
restart_pending() {
  local state named
  state="$(restart_state)"
  [ -f "$state" ] || return 1
  named="$(sed -n 's/^[[:space:]]*IniFile[[:space:]]*=[[:space:]]*//Ip' "$state" | head -n 1 | tr -d '\r' |
           iconv -f CP1251 -t UTF-8 2>/dev/null)" || return 1
  [ "$(realpath -m "$named")" = "$profiles" ]
}
# True when no program holds the demo profiles file and none is to start on it. While
# this script holds the lock, no program can take up a pending restart.
ended_for_good() {
  [ -e "$profiles_lock" ] || { ! restart_pending; return; }
  local lock ended=1
  exec {lock}<"$profiles_lock"
  if flock -n "$lock"; then
    restart_pending || ended=0
  fi
  exec {lock}<&-
  return "$ended"
}

# The program runs as a child, so that the bank is stopped however it ends; a Ctrl+C or
# a SIGTERM to this script ends the program first.
"$program_file" "$VELTON_DEMO_DIR/velton.ini" &
program=$!
trap 'kill -TERM "$program" 2>/dev/null || true' INT TERM HUP
while :; do
  code=0
  wait "$program" || code=$?
  kill -0 "$program" 2>/dev/null || break
done

if [ "$started" -eq 0 ] && ! ended_for_good; then
  echo "Программа перезапускается после обновления; демо-банк работает, пока она не будет закрыта."
  trap 'exit "$code"' INT TERM HUP
  until ended_for_good; do sleep 1; done
fi
exit "$code"
