# Sourced by the window tests and by the scripts that need a private X server.
#
# start_private_xvfb FIRST LAST SIZE starts Xvfb on the first free display
# from FIRST to LAST with one screen of SIZE (WIDTHxHEIGHT), sets xvfb_pid and
# exports DISPLAY and Mesa's software rendering. Returns 1 when no server
# could be started.
start_private_xvfb() {
  local n
  xvfb_pid=""
  for n in $(seq "$1" "$2"); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 "$3x24" -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    if kill -0 "$xvfb_pid" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
      export DISPLAY=":$n" LIBGL_ALWAYS_SOFTWARE=1
      return 0
    fi
    xvfb_pid=""
  done
  return 1
}

# quit_with_escape WINDOW SECONDS sends Escape to the window and waits that
# long for program_pid to end; sets quit_status to its exit status, or
# returns 1 (the program still running) when it did not end.
quit_with_escape() {
  xdotool key --window "$1" Escape
  for _ in $(seq $(($2 * 10))); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$program_pid" 2>/dev/null && return 1
  wait "$program_pid"
  quit_status=$?
  program_pid=""
}

# end_window_test is a window test's EXIT trap: it ends program_pid and
# xvfb_pid when they are set and removes the test's folder, work.
end_window_test() {
  [ -n "${program_pid:-}" ] && kill "$program_pid" 2>/dev/null
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}

# wait_window sets wid to the program's window, waiting up to 30 s for it;
# the test fails (its fail function) when the program ends first or no
# window appears.
wait_window() {
  wid=""
  for _ in $(seq 300); do
    wid=$(xdotool search --name '^Tarn sim$' 2>/dev/null | head -n1)
    [ -n "$wid" ] && return
    kill -0 "$program_pid" 2>/dev/null || fail "the program ended before its window appeared"
    sleep 0.1
  done
  fail "no window titled \"Tarn sim\" within 30 s"
}
