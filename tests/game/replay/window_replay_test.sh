#!/usr/bin/env bash
# A game played in the real window under Xvfb, driven by xdotool (start, walk, fire, aim by
# the mouse, pause, leave), leaves a replay that zarovel-play --verify reproduces headless.
# Usage: window_replay_test.sh BUILD_DIR
set -euo pipefail
build="$(cd "$1" && pwd)"
source "$(dirname "$0")/../../support/window_test.sh"

cmake --install "$build" --component portable --prefix "$work/game" >/dev/null
start_xvfb

(cd "$work/game" && exec env HOME="$work" XDG_DATA_HOME="$work/xdg" SDL_AUDIODRIVER=dummy ./zarovel >"$work/game.log" 2>&1) &
game=$!
pids+=("$game")
window=""
for _ in $(seq 200); do
  window="$(xdotool search --name '^Zarovel$' 2>/dev/null | head -n1 || true)"
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || fail "no window"
xdotool windowfocus --sync "$window"
sleep 1
x() { xdotool "$@"; }
x mousemove --window "$window" 400 189   # onto "Начать игру" (the pointer lights what it is over)
sleep 0.3
x click 1
sleep 2.5               # the level banner
x keydown Right keydown ctrl
sleep 1.5
x keyup ctrl keyup Right
x mousemove --window "$window" 400 250   # the pointer turns the gun
sleep 0.3
x key p
sleep 0.5
x key p
x keydown Left keydown h
sleep 1
x keyup h keyup Left
x key Escape
sleep 0.3
x key y
sleep 0.5
kill -TERM "$game"
wait "$game" || fail "the game exited with $? on SIGTERM: $(cat "$work/game.log")"

shopt -s nullglob
replays=("$work/game/replays/"*.zreplay)
[ "${#replays[@]}" = 1 ] || fail "expected one replay, found ${#replays[@]}"
echo "recorded $(basename "${replays[0]}"), $(stat -c %s "${replays[0]}") bytes"
"$build/tools/zarovel-play" --verify "${replays[0]}" "$work/game" | tee "$work/verify.log" ||
  fail "the window's replay does not verify"
grep -q "matches the recording" "$work/verify.log" || fail "no match"
ticks="$(sed -n 's/.*(\([0-9]*\) ticks).*/\1/p' "$work/verify.log")"
[ "${ticks:-0}" -gt 150 ] || fail "only ${ticks:-0} ticks recorded"
echo "Window replay: verified"
