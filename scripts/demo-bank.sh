#!/usr/bin/env bash
# Starts, stops or reports the demo bank: the servers of the tests on 127.0.0.1 and the
# bank's side of the exchange (demo/bank.py), for the demo profiles.
#
#   demo-bank.sh start    prepares the demo folder (keys, profiles file, configurations)
#                         and starts the bank; exit code 10 when one is already running
#   demo-bank.sh stop     stops the bank of the demo folder and everything it started
#   demo-bank.sh status   exit code 0 while the bank runs, 3 otherwise
#   demo-bank.sh update   puts a demo update of the program into the Updates/ folder of
#                         every demo profile, for the command "Обновления ПО"
#
# VELTON_BUILD_DIR  the build folder (default build/), which holds wbotho-tool
# VELTON_DEMO_DIR   the demo folder (default the build folder's demo/)
# VELTON_DEMO_PORTS POP3,IMAP,SMTP,HTTP ports (default 1110,1143,2525,8480), or "auto"
#                   for ports that are free at the start. When another program holds one
#                   of them, the bank starts again on free ports, which the set-up writes
#                   into the demo profiles.
# VELTON_PROGRAM    the program that the demo update starts again (default the build
#                   folder's velton-export)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${VELTON_BUILD_DIR:-$root/build}"
demo="${VELTON_DEMO_DIR:-$build/demo}"
demo="${demo%/}"
bank=(/usr/bin/python3 "$root/demo/bank.py")
already_running=10
port_taken=11
start_attempts=3

# The bank holds a lock on bank.lock for its whole life.
running() { [ -e "$demo/bank.lock" ] && ! flock -n "$demo/bank.lock" true; }
bank_pid() { cat "$demo/bank.pid" 2>/dev/null || true; }

start() {
  if running; then
    echo "Демо-банк уже работает (процесс $(bank_pid))."
    return "$already_running"
  fi
  mkdir -p "$demo"
  local ports="${VELTON_DEMO_PORTS:-}" attempt code
  for ((attempt = 1; ; attempt++)); do
    code=0
    launch "$ports" || code=$?
    [ "$code" -eq "$port_taken" ] || return "$code"
    if [ "$attempt" -ge "$start_attempts" ]; then
      echo "Демо-банк не запустился: его порты заняты другими программами ($demo/log/bank.log):" >&2
      tail -n 20 "$demo/log/bank.log" >&2
      return 1
    fi
    echo "Порт демо-банка занят другой программой; демо-банк запускается на свободных портах."
    ports=auto
  done
}

# Prepares the demo folder for the ports (empty: the default ones) and starts the bank
# once; the bank's exit code when it ended before it was ready. (Called in a condition,
# where "set -e" does not hold.)
launch() {
  "${bank[@]}" setup --dir "$demo" --source "$root" --tool "$build/standins/wbotho/wbotho-tool" \
    ${1:+--ports "$1"} || return 1
  rm -f "$demo/bank.ready"
  # A session of its own: a Ctrl+C in the terminal reaches the program, not the bank.
  setsid "${bank[@]}" serve --dir "$demo" </dev/null >>"$demo/log/bank.log" 2>&1 &
  local pid=$!
  for _ in $(seq 200); do
    if [ -e "$demo/bank.ready" ]; then
      echo "Демо-банк запущен (процесс $pid), журнал: $demo/log/bank.log"
      return 0
    fi
    if ! kill -0 "$pid" 2>/dev/null; then
      local code=0
      wait "$pid" || code=$?
      [ "$code" -eq "$already_running" ] || [ "$code" -eq "$port_taken" ] && return "$code"
      echo "Демо-банк не запустился:" >&2
      tail -n 20 "$demo/log/bank.log" >&2
      return 1
    fi
    sleep 0.1
  done
  echo "Демо-банк не запустился за 20 секунд, см. $demo/log/" >&2
  stop
  return 1
}

stop() {
  running || return 0
  local pid
  pid="$(bank_pid)"
  [ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null || true
  for _ in $(seq 150); do
    if ! running; then
      echo "Демо-банк остановлен."
      return 0
    fi
    sleep 0.1
  done
  # It leads a process group of its own (setsid): end the bank and its servers.
  [ -n "$pid" ] && kill -KILL -- "-$pid" 2>/dev/null || true
  echo "Демо-банк не остановился за 15 секунд и снят."
}

# The version one past the program's own (major.minor of the project's version).
next_version() {
  local version
  version="$(sed -n 's/^project(velton-export VERSION \([0-9]*\)\.\([0-9]*\).*/\1.\2/p' "$root/CMakeLists.txt")"
  echo "${version%.*}.$((${version#*.} + 1))"
}

# The demo update is a script named as the bank names its updates. It replaces nothing:
# started by "Обновления ПО", it waits until the program that started it has closed (the
# program holds a lock on its profiles file while it runs), removes itself, so that it is
# offered once, and starts the program again, which returns to the profiles file and the
# profile it had.
update() {
  if [ ! -f "$demo/velton.ini" ]; then
    echo "Демо еще не подготовлено: сначала запустите bash scripts/run.sh." >&2
    return 1
  fi
  local program profiles version folder file
  # The profile's folders and the update are their user's only: the program runs no
  # update that another user could have written.
  umask 077
  program="$(realpath -m "${VELTON_PROGRAM:-$build/velton-export}")"
  profiles="$(realpath "$demo/velton.ini")"
  version="$(next_version)"
  sed -n 's/^DataPath=//p' "$demo/velton.ini" | tr -d '\r' | iconv -f CP1251 -t UTF-8 |
  while IFS= read -r folder; do
    mkdir -p "$folder/Updates"
    file="${folder%/}/Updates/Updates-$version.exe"
    {
      echo '#!/bin/bash'
      echo "# Демо-обновление программы до версии $version: перезапускает программу, ничего не заменяя."
      printf 'flock -w 60 %q true || exit 1\n' "$(dirname "$profiles")/.$(basename "$profiles").lock"
      printf 'rm -f -- %q\n' "$file"
      printf 'exec %q 3<&-\n' "$program"
    } >"$file"
    chmod +x "$file"
    echo "Обновление $version положено в $file"
  done
}

case "${1:-}" in
  start) start ;;
  update) update ;;
  stop) stop ;;
  status) if running; then echo "Демо-банк работает (процесс $(bank_pid))."; else exit 3; fi ;;
  *) echo "usage: $0 start|stop|status|update" >&2; exit 2 ;;
esac
