#!/usr/bin/env bash
# How fast zarovel-play --verify replays a game: game seconds per wall-clock second, on one
# core, for the whole process (start-up and the data's check included). Records a long
# scripted game and some monkey games (jittered clock) with zarovel-play, then verifies each
# replay it left and reports the figures and the files' sizes.
#
#   verify_speed.sh BUILD_DIR [FRAMES] [SEED]
set -euo pipefail
build="$(cd "$1" && pwd)"
frames="${2:-15000}"
seed="${3:-5}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp -r "$build/gamedata/Data" "$build/gamedata/Sound" "$work/"
# One long game: the soldier fires all the time and walks from side to side until the game
# ends or FRAMES have passed; then monkey games, short and many.
{
  printf 'seed %s\njitter %s\nrecord\nkey Enter\nframes 101\ndown Ctrl\n' "$seed" "$seed"
  for ((i = 0; i < frames / 400; ++i)); do printf 'down Left\nframes 200\nup Left\ndown Right\nframes 200\nup Right\n'; done
  printf 'up Ctrl\nkey Escape\nkey Y\nframes 10\nmonkey 3000 %s\n' "$seed"
} > "$work/script"
"$build/tools/zarovel-play" "$work" "$work/script" > /dev/null
total_ticks=0
total_ns=0
for replay in "$work"/replays/*.zreplay; do
  start="$(date +%s%N)"
  out="$(taskset -c 0 "$build/tools/zarovel-play" --verify "$replay" "$work")"
  end="$(date +%s%N)"
  ticks="$(sed -n 's/.*(\([0-9]*\) ticks).*/\1/p' <<<"$out")"
  [ -n "$ticks" ] || { echo "$out"; exit 1; }
  printf '%s: %s ticks (%s bytes) in %d ms\n' "$(basename "$replay")" "$ticks" "$(stat -c %s "$replay")" \
    "$(((end - start) / 1000000))"
  total_ticks=$((total_ticks + ticks))
  total_ns=$((total_ns + end - start))
done
# A tick is 20 ms of game time.
awk -v ticks="$total_ticks" -v ns="$total_ns" 'BEGIN {
  game = ticks / 50; wall = ns / 1e9
  printf "game %.1f s, wall %.2f s: %.0fx real time\n", game, wall, game / wall }'
