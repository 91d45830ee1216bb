# What the score server's benchmarks share: a work folder removed at the end, a throwaway
# PostgreSQL cluster, the server started on a free port, the records put straight into a
# store, and wrk's figures kept by name. Sourced by wrk-scores.sh and attack-scores.sh, which
# set server_bin, records, threads, connections and duration first.

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

# Starts a program that says "listening on 127.0.0.1:PORT" on standard error; sets
# server_pid and port.
start_listening() {
  : >"$work/server.log"
  "$@" 2>>"$work/server.log" &
  server_pid=$!
  for _ in $(seq 1 300); do
    port="$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/server.log")"
    [ -n "$port" ] && return 0
    sleep 0.1
  done
  echo "the server did not start:"; cat "$work/server.log"; exit 1
}

# The score server on a free port, with the given options beyond the store.
start_server() {
  local db="$1"
  shift
  start_listening "$server_bin" --listen 127.0.0.1:0 --db "$db" "$@"
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
# The PostgreSQL database is "zarovel" unless named.
fill_postgres() {
  "$pg_bin/psql" -h "$work/pg" -U postgres -d "${1:-zarovel}" -qc "INSERT INTO scores (name, score, options_name, submitted, address)
    SELECT 'Игрок ' || i, (random() * 1000000)::bigint, '', extract(epoch FROM now())::bigint - i * 3600,
           '192.0.2.' || (i % 250)
    FROM generate_series(1, $records) AS i;"
}

declare -A results socket_errors
# Runs wrk; prints its report and keeps requests/s, p99 and refusals under the given name,
# and apart, its socket errors (connect, read, write and timeouts) summed.
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
  socket_errors[$name]="$(echo "$report" | awk '/Socket errors:/ {n = $4 + $6 + $8 + $10} END {print n + 0}')"
}

