#!/usr/bin/env bash
# Load test of zarovel-scores with wrk, on SQLite and on PostgreSQL, each holding 10,000
# records: requests per second and the 99th percentile of latency for the check request,
# the score submission (each with a fresh token of its own) and the world page.
#
#   benchmarks/scores/wrk-scores.sh [BUILD_DIR] [STORES]
#
# BUILD_DIR holds the built server (default: build); STORES is "sqlite postgresql" (default)
# or either one. The PostgreSQL server is a throwaway cluster made here with initdb and
# default settings (durable commits), on a Unix socket; run as root, it runs as postgres.
# Knobs from the environment: DURATION (seconds a measurement, 10), CONNECTIONS (32),
# THREADS (wrk's threads, 2), RECORDS (10000). Needs the packages wrk, sqlite3, postgresql.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
stores="${2:-sqlite postgresql}"
server_bin="$build/server/zarovel-scores"
duration="${DURATION:-10}"
connections="${CONNECTIONS:-32}"
threads="${THREADS:-2}"
records="${RECORDS:-10000}"
[ -x "$server_bin" ] || { echo "no $server_bin: build it first (cmake --build $build --target zarovel-scores)"; exit 1; }
for tool in wrk sqlite3; do command -v "$tool" >/dev/null || { echo "$tool is not installed"; exit 1; }; done

work="$(mktemp -d /tmp/zarovel-wrk-XXXXXX)"
server_pid=""
pg_bin=""
as_postgres=()
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null || true
  if [ -n "$pg_bin" ] && [ -f "$work/pg/data/postmaster.pid" ]; then
    "${as_postgres[@]}" "$pg_bin/pg_ctl" -D "$work/pg/data" -m fast -w stop >/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

start_postgres() {
  pg_bin="$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)"
  mkdir -p "$work/pg"
  if [ "$(id -u)" -eq 0 ]; then
    chown postgres "$work/pg"
    chmod 755 "$work"
    as_postgres=(runuser -u postgres --)
  fi
  "${as_postgres[@]}" "$pg_bin/initdb" -D "$work/pg/data" -U postgres --auth=trust --no-locale -E UTF8 >/dev/null
  "${as_postgres[@]}" "$pg_bin/pg_ctl" -D "$work/pg/data" -l "$work/pg/server.log" -w \
    -o "-k $work/pg -c listen_addresses=" start >/dev/null
  "$pg_bin/psql" -h "$work/pg" -U postgres -d postgres -qc "CREATE DATABASE zarovel"
}

# Starts the server on a free port; sets port.
start_server() {
  local db="$1"
  : >"$work/server.log"
  "$server_bin" --listen 127.0.0.1:0 --db "$db" --rate-limit 0 2>>"$work/server.log" &
  server_pid=$!
  for _ in $(seq 1 300); do
    port="$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/server.log")"
    [ -n "$port" ] && return 0
    sleep 0.1
  done
  echo "the server did not start:"; cat "$work/server.log"; exit 1
}

stop_server() {
  kill -TERM "$server_pid"
  wait "$server_pid" || true
  server_pid=""
}

# The records, straight into the store: names with Cyrillic, scores spread out, days apart.
fill_sqlite() {
  sqlite3 "$1" "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $records)
    INSERT INTO scores (name, score, options_name, submitted, address)
    SELECT 'Игрок ' || i, abs(random()) % 1000000, '', strftime('%s', 'now') - i * 3600, '192.0.2.' || (i % 250)
    FROM n;"
}
fill_postgres() {
  "$pg_bin/psql" -h "$work/pg" -U postgres -d zarovel -qc "INSERT INTO scores (name, score, options_name, submitted, address)
    SELECT 'Игрок ' || i, (random() * 1000000)::bigint, '', extract(epoch FROM now())::bigint - i * 3600,
           '192.0.2.' || (i % 250)
    FROM generate_series(1, $records) AS i;"
}

declare -A results
# Runs wrk; prints its report and keeps requests/s, p99 and refusals under the given name.
measure() {
  local name="$1"
  shift
  local report
  report="$(wrk -t"$threads" -c"$connections" -d"${duration}s" --latency "$@")"
  echo "$report" | sed 's/^/    /'
  local rps p99 bad
  rps="$(echo "$report" | awk '/^Requests\/sec:/ {print $2}')"
  p99="$(echo "$report" | awk '$1 == "99%" {print $2}')"
  bad="$(echo "$report" | awk '/Non-2xx or 3xx responses:/ {print $5}')"
  results[$name]="$rps|$p99|${bad:-0}"
}

url="http://127.0.0.1"
check="/cgi/version.pl?version&prg=Zarovel"
page="/cgi/version.pl?prg=Zarovel&show&type=0"
for store in $stores; do
  case "$store" in
    sqlite) db="$work/scores.sqlite" ;;
    postgresql) start_postgres; db="postgresql:///zarovel?host=$work/pg&user=postgres" ;;
    *) echo "unknown store $store"; exit 2 ;;
  esac
  start_server "$db"
  if [ "$store" = sqlite ]; then fill_sqlite "$db"; else fill_postgres; fi
  echo "== $store: $records records, wrk -t$threads -c$connections -d${duration}s"
  # Fresh tokens for the submissions, gathered first (and for longer than the submissions run).
  wrk -t1 -c"$connections" -d"$((duration * 3 / 2 + 1))s" -s "$here/harvest.lua" "$url:$port$check" -- "$work/tokens" >/dev/null
  echo "  tokens gathered: $(wc -l <"$work/tokens")"
  echo "  check:"
  measure "$store check" "$url:$port$check"
  # The page before the submissions, which add records of their own.
  echo "  page:"
  measure "$store page" "$url:$port$page"
  echo "  submission:"
  measure "$store submission" -s "$here/submit.lua" "$url:$port/" -- "$work/tokens" "$threads"
  stop_server
  rm -f "$work/tokens"
done

echo
echo "| store | request | requests/s | p99 | refused |"
echo "|---|---|---|---|---|"
for store in $stores; do
  for request in check submission page; do
    IFS='|' read -r rps p99 bad <<<"${results["$store $request"]}"
    echo "| $store | $request | $rps | $p99 | $bad |"
  done
done
