#!/usr/bin/env bash
# Load test of zarovel-scores with wrk, on SQLite and on PostgreSQL, each holding 10,000
# records: requests per second and the 99th percentile of latency for the check request,
# the score submission (each with a fresh token of its own) and the world page, with the
# server's limits off. Beside each, the same HTTP layer answering a fixed body of the same
# size at once (fixed_reply_server) is measured in the same run, and the ratio printed.
#
#   benchmarks/scores/wrk-scores.sh [BUILD_DIR] [STORES]
#
# BUILD_DIR holds the built server (default: build); STORES is "sqlite postgresql" (default)
# or either one. The PostgreSQL server is a throwaway cluster made here with initdb and
# default settings (durable commits), on a Unix socket; run as root, it runs as postgres.
# Knobs from the environment: DURATION (seconds a measurement, 10), CONNECTIONS (32),
# THREADS (wrk's threads, 2), RECORDS (10000). Needs the packages wrk, sqlite3, postgresql.
# wrk-compare.sh puts two builds of the server side by side in the same loads.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
stores="${2:-sqlite postgresql}"
server_bin="$build/server/zarovel-scores"
fixed_bin="$build/benchmarks/fixed_reply_server"
duration="${DURATION:-10}"
connections="${CONNECTIONS:-32}"
threads="${THREADS:-2}"
records="${RECORDS:-10000}"
for bin in "$server_bin" "$fixed_bin"; do
  [ -x "$bin" ] || { echo "no $bin: build it first (cmake --build $build --target zarovel-scores fixed_reply_server)"; exit 1; }
done
for tool in wrk sqlite3 curl; do command -v "$tool" >/dev/null || { echo "$tool is not installed"; exit 1; }; done
source "$here/common.sh"

url="http://127.0.0.1"
check="/cgi/version.pl?version&prg=Zarovel"
page="/cgi/version.pl?prg=Zarovel&show&type=0"
declare -A sizes
for store in $stores; do
  case "$store" in
    sqlite) db="$work/scores.sqlite" ;;
    postgresql) start_postgres; db="postgresql:///zarovel?host=$work/pg&user=postgres" ;;
    *) echo "unknown store $store"; exit 2 ;;
  esac
  start_server "$db" --rate-limit 0 --check-rate-limit 0 --max-tokens 0
  if [ "$store" = sqlite ]; then fill_sqlite "$db"; else fill_postgres; fi
  echo "== $store: $records records, wrk -t$threads -c$connections -d${duration}s"
  # Fresh tokens for the submissions, gathered first (and for longer than the submissions run).
  wrk -t1 -c"$connections" -d"$((duration * 3 / 2 + 1))s" -s "$here/harvest.lua" "$url:$port$check" -- "$work/tokens" >/dev/null
  echo "  tokens gathered: $(wc -l <"$work/tokens")"
  sizes[check]="$(curl -s "$url:$port$check" | wc -c)"
  sizes[submission]="$(printf 'OK|stored\n' | wc -c)"
  echo "  check:"
  measure "$store check" "$url:$port$check"
  # The page before the submissions, which add records of their own.
  sizes[page]="$(curl -s "$url:$port$page" | wc -c)"
  echo "  page (${sizes[page]} bytes):"
  measure "$store page" "$url:$port$page"
  echo "  submission:"
  measure "$store submission" -s "$here/submit.lua" "$url:$port/" -- "$work/tokens" "$threads"
  stop_server
  rm -f "$work/tokens"
  # The yardstick: the same HTTP layer with a fixed body of each reply's size.
  for request in check submission page; do
    start_listening "$fixed_bin" 0 "${sizes[$request]}"
    echo "  fixed reply of ${sizes[$request]} bytes:"
    measure "$store fixed $request" "$url:$port$check"
    stop_server
  done
done

echo
echo "| store | request | requests/s | p99 | refused | fixed reply: requests/s | ratio |"
echo "|---|---|---|---|---|---|---|"
for store in $stores; do
  for request in check submission page; do
    IFS='|' read -r rps p99 bad <<<"${results["$store $request"]}"
    IFS='|' read -r fixed _ _ <<<"${results["$store fixed $request"]}"
    ratio="$(awk -v a="$rps" -v b="$fixed" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }')"
    echo "| $store | $request | $rps | $p99 | $bad | $fixed | $ratio |"
  done
done
