#!/usr/bin/env bash
# Runs the game in its real window for a while with the present meter loaded, then ends it
# as the system would (SIGTERM) and prints the meter's report: frames presented per second,
# the spacing of frames, the process's CPU time as a share of one core, and the time from
# launch to the first frame. Two runs: the game at its menu, then a busy game of a fixed
# seed (started at once, the gun firing all the time; see present_meter.cpp). The busy
# run's figures leave out its first 5 s, the menu and the level banner.
#
#   measure_window.sh METER_SO GAME_DIR [SECONDS] [SEED]
#
# METER_SO is the built present meter (libpresent_meter.so in the build's benchmarks/
# folder), GAME_DIR a laid-out game folder (zarovel beside Data/ and Sound/). Needs an X
# display in DISPLAY, for example Xvfb with a window manager:
#   Xvfb :57 & DISPLAY=:57 openbox & DISPLAY=:57 measure_window.sh ...
set -euo pipefail
meter="$(realpath "$1")"
game_dir="$2"
seconds="${3:-60}"
seed="${4:-7}"
: "${DISPLAY:?an X display is needed}"

report="$(mktemp)"
trap 'rm -f "$report"' EXIT
cd "$game_dir"

# measure NAME SKIP_MS [VARIABLE=VALUE...]: one run of the game, its report under NAME.
measure() {
  local name="$1" skip_ms="$2"
  shift 2
  env "$@" ZAROVEL_METER_OUT="$report" ZAROVEL_METER_SKIP_MS="$skip_ms" \
    ZAROVEL_METER_LAUNCH_NS="$(date +%s%N)" LD_PRELOAD="$meter" ./zarovel >/dev/null 2>&1 &
  local pid=$!
  sleep "$((seconds + skip_ms / 1000))"
  kill -TERM "$pid"
  wait "$pid" || true
  echo "== $name"
  cat "$report"
}

# The busy game would write its score into the player's table: the table is put back after.
saved="$(mktemp)"
had_config=0
if [[ -f Config.cfg ]]; then cp Config.cfg "$saved" && had_config=1; fi
measure menu 2000
measure "busy game, seed $seed" 5000 ZAROVEL_METER_PLAY=1 ZAROVEL_METER_SEED="$seed"
if ((had_config)); then cp "$saved" Config.cfg; else rm -f Config.cfg; fi
rm -f "$saved"
