# Sourced by the tests that run the game in a real window: a temporary folder in $work
# (removed at exit, with every process whose pid is in $pids stopped), fail MESSAGE, and
# start_xvfb, which starts an X server of the test's own on a free display and exports
# DISPLAY (its pid joins $pids).
work="$(mktemp -d /tmp/zarovel-window-test-XXXXXX)"
pids=()
finish() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
start_xvfb() {
  Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$work/display" 2>"$work/xvfb.log" &
  pids+=($!)
  for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
  done
  [ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
  export DISPLAY=":$(head -n1 "$work/display")"
}
