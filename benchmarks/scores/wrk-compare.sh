#!/usr/bin/env bash
# Compares two builds of zarovel-scores with wrk as wrk-scores.sh loads one: the check, the
# page and the submission (each with a fresh token of its own) on a store of 10,000 records,
# with the server's limits off. The two run in turn, before, after, before, after, ..., each
# on a fresh store of its own (the two may differ in schema), and the medians of the runs
# are printed with the ratios after/before.
#
#   benchmarks/scores/wrk-compare.sh BEFORE_SERVER AFTER_SERVER [STORE]
#
# The servers are zarovel-scores programs; STORE is sqlite (default) or postgresql (a
# throwaway cluster as in wrk-scores.sh, with a fresh database for each run). A "before"
# server of the last commit, for example:
#   git worktree add /tmp/old-server HEAD~1 && cmake -S /tmp/old-server -B /tmp/old-server/build \
#     -DCMAKE_BUILD_TYPE=Release && cmake --build /tmp/old-server/build --target zarovel-scores
# Knobs from the environment: RUNS (runs of each, 5), DURATION (seconds a measurement, 5),
# CONNECTIONS (32), THREADS (wrk's threads, 2), RECORDS (10000). Needs wrk and sqlite3.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
[ $# -ge 2 ] || { echo "usage: $0 BEFORE_SERVER AFTER_SERVER [sqlite|postgresql]"; exit 2; }
declare -A server_of=([before]="$(realpath "$1")" [after]="$(realpath "$2")")
store="${3:-sqlite}"
runs="${RUNS:-5}"
duration="${DURATION:-5}"
connections="${CONNECTIONS:-32}"
threads="${THREADS:-2}"
records="${RECORDS:-10000}"
for bin in "${server_of[@]}"; do [ -x "$bin" ] || { echo "no server $bin"; exit 1; }; done
for tool in wrk sqlite3; do command -v "$tool" >/dev/null || { echo "$tool is not installed"; exit 1; }; done
case "$store" in sqlite | postgresql) ;; *) echo "unknown store $store"; exit 2 ;; esac
source "$here/common.sh"
[ "$store" = postgresql ] && start_postgres

url="http://127.0.0.1"
check="/cgi/version.pl?version&prg=Zarovel"
page="/cgi/version.pl?prg=Zarovel&show&type=0"
requests="check page submission"

# One run of a server: a fresh store, its records, tokens gathered, then the three loads.
run_once() {
  local which="$1" run="$2" db
  server_bin="${server_of[$which]}"
  if [ "$store" = sqlite ]; then
    db="$work/$which-$run.sqlite"
  else
    "$pg_bin/psql" -h "$work/pg" -U postgres -d postgres -qc "CREATE DATABASE zarovel_${which}_$run"
    db="postgresql:///zarovel_${which}_$run?host=$work/pg&user=postgres"
  fi
  start_server "$db" --rate-limit 0 --check-rate-limit 0 --max-tokens 0
  echo "== run $run, $which: $(sed -n 's/.*(\(schema version [0-9]*\)).*/\1/p' "$work/server.log")"
  if [ "$store" = sqlite ]; then fill_sqlite "$db"; else fill_postgres "zarovel_${which}_$run"; fi
  wrk -t1 -c"$connections" -d"$((duration * 3 / 2 + 1))s" -s "$here/harvest.lua" "$url:$port$check" -- "$work/tokens" >/dev/null
  measure "$which $run check" "$url:$port$check" >/dev/null
  # The page before the submissions, which add records of their own.
  measure "$which $run page" "$url:$port$page" >/dev/null
  measure "$which $run submission" -s "$here/submit.lua" "$url:$port/" -- "$work/tokens" "$threads" >/dev/null
  stop_server
  rm -f "$work/tokens" "$work/$which-$run".sqlite*
  for request in $requests; do
    IFS='|' read -r rps p99 bad <<<"${results["$which $run $request"]}"
    echo "   $request: $rps requests/s, p99 $p99, refused $bad"
  done
}

# wrk's latency ("823.00us", "5.50ms", "1.02s") in milliseconds.
to_ms() {
  awk -v t="$1" 'BEGIN {
    if (t ~ /us$/) printf "%.3f", t / 1000; else if (t ~ /ms$/) printf "%.3f", t + 0;
    else if (t ~ /m$/) printf "%.3f", t * 60000; else if (t ~ /s$/) printf "%.3f", t * 1000; else print "" }'
}
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2)}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

echo "== $store, $records records, wrk -t$threads -c$connections -d${duration}s, $runs runs of each in turn"
echo "   before: ${server_of[before]}"
echo "   after:  ${server_of[after]}"
for run in $(seq 1 "$runs"); do
  run_once before "$run"
  run_once after "$run"
done

echo
echo "Medians of $runs runs ($store, wrk -t$threads -c$connections -d${duration}s):"
echo
echo "| request | before: requests/s | after: requests/s | after/before | before: p99 | after: p99 | after/before |"
echo "|---|---|---|---|---|---|---|"
for request in $requests; do
  declare -A rps_median p99_median
  for which in before after; do
    rates=() latencies=()
    for run in $(seq 1 "$runs"); do
      IFS='|' read -r rps p99 _ <<<"${results["$which $run $request"]}"
      rates+=("$rps")
      latencies+=("$(to_ms "$p99")")
    done
    rps_median[$which]="$(median "${rates[@]}")"
    p99_median[$which]="$(median "${latencies[@]}")"
  done
  printf '| %s | %.0f | %.0f | %s | %.2f ms | %.2f ms | %s |\n' "$request" \
    "${rps_median[before]}" "${rps_median[after]}" "$(ratio "${rps_median[after]}" "${rps_median[before]}")" \
    "${p99_median[before]}" "${p99_median[after]}" "$(ratio "${p99_median[after]}" "${p99_median[before]}")"
done
