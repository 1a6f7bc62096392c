# Sourced by scripts/test-wine and scripts/test-windows: the simulated terminal (built natively) for
# one exchange, on a pseudo-terminal that Wine's COM9 leads to. The caller sets native (the native
# build), work (its scratch folder), terminal_link (where COM9 points) and sim_pid="", and defines
# fail MESSAGE, which ends the run.

# Starts it with the role options given; returns once it is up.
start_terminal() {
  rm -f "$work/sim-out"
  mkfifo "$work/sim-out"
  "$native/bin/hhtsim" --once --link "$terminal_link" --log "$work/terminal.log" "$@" >"$work/sim-out" &
  sim_pid=$!
  local device
  exec 3<"$work/sim-out"
  if ! read -r -t 10 device <&3 || [ -z "$device" ]; then
    fail "the simulated terminal did not start (log: $(cat "$work/terminal.log" 2>/dev/null))"
  fi
}

# Waits (at most 30 s) for the exchange to end; it must have completed.
finish_terminal() {
  local status=0
  for _ in $(seq 1 300); do
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$sim_pid" 2>/dev/null; then
    kill -TERM "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=""
    exec 3<&-
    fail "the simulated terminal was still in its exchange 30 s after the host was done: $(tail -5 "$work/terminal.log")"
  fi
  wait "$sim_pid" || status=$?
  sim_pid=""
  exec 3<&-
  [ "$status" -eq 0 ] || fail "the simulated terminal did not complete its exchange: $(tail -5 "$work/terminal.log")"
}
