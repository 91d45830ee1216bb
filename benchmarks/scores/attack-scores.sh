#!/usr/bin/env bash
# The attack run: zarovel-scores on SQLite with 10,000 records and its default limits (but
# for the per-address limit on checks, which wrk's one address would meet) while
# score_attackers holds 1,000 idle connections, 200 slowloris connections and 64 slow
# readers of the page from 127.0.0.2 to 127.0.0.254; wrk measures a normal client's checks
# from 127.0.0.1 meanwhile. Prints its requests/s, p99, refusals and errors, and the
# server's peak memory.
#
#   benchmarks/scores/attack-scores.sh [BUILD_DIR]
#
# Knobs from the environment: DURATION (seconds of wrk, 20), CONNECTIONS (wrk's, 4),
# IDLE (1000), SLOWLORIS (200), SLOW_READERS (64), RECORDS (10000).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
server_bin="$build/server/zarovel-scores"
attackers_bin="$build/benchmarks/score_attackers"
duration="${DURATION:-20}"
connections="${CONNECTIONS:-4}"
threads=1
records="${RECORDS:-10000}"
for bin in "$server_bin" "$attackers_bin"; do
  [ -x "$bin" ] || { echo "no $bin: build it first (cmake --build $build --target zarovel-scores score_attackers)"; exit 1; }
done
for tool in wrk sqlite3; do command -v "$tool" >/dev/null || { echo "$tool is not installed"; exit 1; }; done
source "$here/common.sh"

db="$work/scores.sqlite"
start_server "$db" --check-rate-limit 0
fill_sqlite "$db"
rss() { awk -v key="$1:" '$1 == key {print $2 / 1024 " MB"}' "/proc/$server_pid/status"; }
echo "== server at rest: $(rss VmRSS)"

"$attackers_bin" "$port" "${IDLE:-1000}" "${SLOWLORIS:-200}" "${SLOW_READERS:-64}" "$((duration + 8))" &
attackers_pid=$!
sleep 4
echo "== under attack: $(rss VmRSS); a normal client's checks, wrk -t1 -c$connections -d${duration}s"
measure "normal check" "http://127.0.0.1:$port/cgi/version.pl?version&prg=Zarovel"
echo "== server under attack, at the end: $(rss VmRSS), peak $(rss VmHWM)"
wait "$attackers_pid"
IFS='|' read -r rps p99 bad <<<"${results["normal check"]}"
errors="$(grep -c '" 5[0-9][0-9] ' "$work/server.log" || true)"
cut="$(grep -c 'connection closed' "$work/server.log" || true)"
echo
echo "| normal check requests/s | p99 | non-2xx | 5xx in the log | peak RSS | connection lines logged |"
echo "|---|---|---|---|---|---|"
echo "| $rps | $p99 | $bad | $errors | $(rss VmHWM) | $cut |"
