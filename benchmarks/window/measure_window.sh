#!/usr/bin/env bash
# Runs the game in its real window for a while with the present meter loaded, then ends it
# as the system would (SIGTERM) and prints the meter's report: frames presented per second,
# the spacing of frames, the process's CPU time as a share of one core, and the time from
# launch to the first frame. The game stays at its menu.
#
#   measure_window.sh METER_SO GAME_DIR [SECONDS]
#
# METER_SO is the built present meter (libpresent_meter.so in the build's benchmarks/
# folder), GAME_DIR a laid-out game folder (zarovel beside Data/ and Sound/). Needs an X
# display in DISPLAY, for example Xvfb with a window manager:
#   Xvfb :57 & DISPLAY=:57 openbox & DISPLAY=:57 measure_window.sh ...
set -euo pipefail
meter="$(realpath "$1")"
game_dir="$2"
seconds="${3:-60}"
skip_ms=2000
: "${DISPLAY:?an X display is needed}"

report="$(mktemp)"
trap 'rm -f "$report"' EXIT
cd "$game_dir"
ZAROVEL_METER_OUT="$report" ZAROVEL_METER_SKIP_MS="$skip_ms" ZAROVEL_METER_LAUNCH_NS="$(date +%s%N)" \
  LD_PRELOAD="$meter" ./zarovel >/dev/null 2>&1 &
pid=$!
sleep "$((seconds + skip_ms / 1000))"
kill -TERM "$pid"
wait "$pid" || true
cat "$report"
