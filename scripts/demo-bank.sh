#!/usr/bin/env bash
# Starts, stops or reports the demo bank: the servers of the tests on 127.0.0.1 and the
# bank's side of the exchange (demo/bank.py), for the demo profiles.
#
#   demo-bank.sh start    prepares the demo folder (keys, profiles file, configurations)
#                         and starts the bank; exit code 10 when one is already running
#   demo-bank.sh stop     stops the bank of the demo folder and everything it started
#   demo-bank.sh status   exit code 0 while the bank runs, 3 otherwise
#
# VELTON_BUILD_DIR  the build folder (default build/), which holds wbotho-tool
# VELTON_DEMO_DIR   the demo folder (default the build folder's demo/)
# VELTON_DEMO_PORTS POP3,IMAP,SMTP,HTTP ports (default 1110,1143,2525,8480)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${VELTON_BUILD_DIR:-$root/build}"
demo="${VELTON_DEMO_DIR:-$build/demo}"
demo="${demo%/}"
bank=(/usr/bin/python3 "$root/demo/bank.py")
already_running=10

# The bank holds a lock on bank.lock for its whole life.
running() { [ -e "$demo/bank.lock" ] && ! flock -n "$demo/bank.lock" true; }
bank_pid() { cat "$demo/bank.pid" 2>/dev/null || true; }

start() {
  if running; then
    echo "Демо-банк уже работает (процесс $(bank_pid))."
    return "$already_running"
  fi
  mkdir -p "$demo"
  "${bank[@]}" setup --dir "$demo" --source "$root" --tool "$build/standins/wbotho/wbotho-tool" \
    ${VELTON_DEMO_PORTS:+--ports "$VELTON_DEMO_PORTS"}
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
      [ "$code" -eq "$already_running" ] && return "$already_running"
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

case "${1:-}" in
  start) start ;;
  stop) stop ;;
  status) if running; then echo "Демо-банк работает (процесс $(bank_pid))."; else exit 3; fi ;;
  *) echo "usage: $0 start|stop|status" >&2; exit 2 ;;
esac
