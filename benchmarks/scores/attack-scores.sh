#!/usr/bin/env bash
# The attack runs: zarovel-scores on SQLite with 10,000 records and its default limits (but
# for the per-address limit on checks, which the probe's and wrk's one address would meet),
# started afresh for each mix of attackers from 127.0.0.2 to 127.0.0.254:
#   none       no attack: the yardstick for the others
#   below-cap  1,000 idle connections, 200 slowloris connections and 64 readers of the page
#              that never keep up
#   half-head  a crowd above the connection cap of connections that send a request's head but
#              for its last empty line, and nothing more
#   idle       a crowd above the cap of connections that send nothing
# The crowd is 253 addresses with 20 connections each, or more when the cap the server prints
# on its start line calls for it, so that it stays some 20% above the cap: every connection it
# opens again closes another. Meanwhile, from 127.0.0.1, score_attackers' probe does what a
# player's game does (a check on a fresh connection every 0.1 s, one sent 0.2 s after its
# connection opened every 0.1 s, checks on a kept-alive connection after gaps of 5 ms to 1 s)
# and counts what failed, and wrk measures a normal client's checks. Prints a table of the
# probe's failures, wrk's figures and the server's memory for each mix, beside the goals:
# no failure, and a p99 within 3 times the unattacked one.
#
#   benchmarks/scores/attack-scores.sh [BUILD_DIR]
#
# The server and the attackers each raise their descriptor limit to the hard limit; this
# script raises its own (ulimit -n) too, which they inherit.
# Knobs from the environment: SERVER (another zarovel-scores to attack, such as an older
# build), DURATION (seconds of wrk and the probe a mix, 20), CONNECTIONS (wrk's, 4), MIXES
# ("none below-cap half-head idle"), IDLE (1000), SLOWLORIS (200), SLOW_READERS (64),
# PER_ADDRESS (the crowd's connections an address, at least 20), RECORDS (10000).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
server_bin="$(realpath "${SERVER:-$build/server/zarovel-scores}")"
attackers_bin="$build/benchmarks/score_attackers"
duration="${DURATION:-20}"
connections="${CONNECTIONS:-4}"
threads=1
records="${RECORDS:-10000}"
mixes="${MIXES:-none below-cap half-head idle}"
ramp=5  # seconds the attackers have to open their connections before the measurement
for bin in "$server_bin" "$attackers_bin"; do
  [ -x "$bin" ] || { echo "no $bin: build it first (cmake --build $build --target zarovel-scores score_attackers)"; exit 1; }
done
for tool in wrk sqlite3; do command -v "$tool" >/dev/null || { echo "$tool is not installed"; exit 1; }; done
source "$here/common.sh"

soft="$(ulimit -Sn)"
ulimit -n "$(ulimit -Hn)"
echo "== descriptor limit: $soft, raised to the hard limit $(ulimit -n) for the server and the attackers"

mb() { awk -v kb="$1" 'BEGIN { printf "%.1f MB", kb / 1024 }'; }
status_kb() { awk -v key="$1:" '$1 == key {print $2}' "/proc/$server_pid/status"; }
descriptors() { find "/proc/$server_pid/fd" -mindepth 1 -maxdepth 1 | wc -l; }
# wrk's latency ("823.00us", "5.50ms", "1.02s") in milliseconds.
to_ms() {
  awk -v t="$1" 'BEGIN {
    if (t ~ /us$/) printf "%.3f", t / 1000; else if (t ~ /ms$/) printf "%.3f", t + 0;
    else if (t ~ /m$/) printf "%.3f", t * 60000; else if (t ~ /s$/) printf "%.3f", t * 1000; else print "" }'
}

declare -A row
for mix in $mixes; do
  db="$work/scores-$mix.sqlite"
  start_server "$db" --check-rate-limit 0
  fill_sqlite "$db"
  cap="$(sed -n 's/.*limits: max-connections \([0-9]*\),.*/\1/p' "$work/server.log" | head -n 1)"
  cap="${cap:-4096}"  # a server that does not print its limits: the default cap
  per="${PER_ADDRESS:-$(( (cap * 6 / 5 + 252) / 253 ))}"
  [ "$per" -ge 20 ] || per=20
  crowd=$((253 * per))
  sleep 1
  rest_kb="$(status_kb VmRSS)"
  rest_fds="$(descriptors)"
  seconds=$((ramp + duration + 4))
  case "$mix" in
    none) attack=() ;;
    below-cap) attack=("${IDLE:-1000}" "${SLOWLORIS:-200}" "${SLOW_READERS:-64}" "$seconds") ;;
    half-head) attack=(0 0 0 "$seconds" "$crowd") ;;
    idle) attack=("$crowd" 0 0 "$seconds") ;;
    *) echo "unknown mix $mix"; exit 2 ;;
  esac
  echo "== $mix: server at rest $(mb "$rest_kb"), $rest_fds descriptors, max-connections $cap"
  attackers_pid=""
  if [ ${#attack[@]} -gt 0 ]; then
    echo "   attackers: score_attackers $port ${attack[*]}"
    "$attackers_bin" "$port" "${attack[@]}" >"$work/attackers-$mix.out" &
    attackers_pid=$!
    sleep "$ramp"
  fi
  held_kb="$(status_kb VmRSS)"
  held_fds="$(descriptors)"
  echo "   under attack: $(mb "$held_kb"), $held_fds descriptors; probe and wrk -t1 -c$connections -d${duration}s"
  "$attackers_bin" probe "$port" "$duration" >"$work/probe-$mix.out" &
  probe_pid=$!
  measure "$mix" "http://127.0.0.1:$port/cgi/version.pl?version&prg=Zarovel"
  wait "$probe_pid"
  sed 's/^/    /' "$work/probe-$mix.out"
  peak_kb="$(status_kb VmHWM)"
  reopened=0
  if [ -n "$attackers_pid" ]; then
    wait "$attackers_pid"
    sed 's/^/    /' "$work/attackers-$mix.out"
    reopened="$(sed -n 's/.*, \([0-9]*\) cut by the server.*/\1/p' "$work/attackers-$mix.out")"
  fi
  stop_server
  failures="$(awk '/^probe / {sub(":", "", $2); printf "%s%s %s", sep, $2, $5; sep = ", "}' "$work/probe-$mix.out")"
  failed="$(awk '/^probe / {n += $5} END {print n + 0}' "$work/probe-$mix.out")"
  per_connection="-"
  if [ "$held_fds" -gt $((rest_fds + 100)) ]; then
    per_connection="$(awk -v a="$held_kb" -v b="$rest_kb" -v n="$((held_fds - rest_fds))" 'BEGIN { printf "%.1f KiB", (a - b) / n }')"
  fi
  row[$mix]="$failures|$failed|$reopened|$(mb "$rest_kb")|$(mb "$held_kb") ($held_fds descriptors)|$per_connection|$(mb "$peak_kb")"
done

IFS='|' read -r _ base_p99 _ <<<"${results[none]:-||}"
base_ms="$(to_ms "$base_p99")"
echo
echo "Goals: no failed probe; a check's p99 within 3x the unattacked one (${base_p99:-not measured})."
echo
echo "| mix | probe failures | checks/s | p99 | p99 against unattacked | goals met | connections cut and opened again |"
echo "|---|---|---|---|---|---|---|"
for mix in $mixes; do
  IFS='|' read -r failures failed reopened _ <<<"${row[$mix]}"
  IFS='|' read -r rps p99 bad <<<"${results[$mix]}"
  ratio="-"
  wrk_errors="${socket_errors[$mix]:-0}"
  met="failures: $([ "$failed" -eq 0 ] && [ "${bad:-0}" -eq 0 ] && [ "$wrk_errors" -eq 0 ] && echo yes || echo NO)"
  if [ -n "$base_ms" ]; then
    ratio="$(awk -v a="$(to_ms "$p99")" -v b="$base_ms" 'BEGIN { printf "%.2f", a / b }')"
    met="$met, p99: $(awk -v r="$ratio" 'BEGIN { print (r <= 3 ? "yes" : "NO") }')"
  fi
  [ "${bad:-0}" -eq 0 ] || failures="$failures, wrk non-2xx $bad"
  [ "$wrk_errors" -eq 0 ] || failures="$failures, wrk socket errors $wrk_errors"
  echo "| $mix | $failures | $rps | $p99 | $ratio | $met | $reopened |"
done
echo
echo "| mix | server at rest | under attack | memory a connection | peak RSS |"
echo "|---|---|---|---|---|"
for mix in $mixes; do
  IFS='|' read -r _ _ _ rest held per_connection peak <<<"${row[$mix]}"
  echo "| $mix | $rest | $held | $per_connection | $peak |"
done
