#!/usr/bin/env bash
# A throwaway PostgreSQL server for the tests. Sourced by test.sh:
#
#   quarn_pg_start   initdb into a temporary directory owned by "postgres",
#                    start the server on 127.0.0.1 and a free port with
#                    password authentication, create the user "quarn" and
#                    the database "quarn_test", export QUARN_PG_DSN and
#                    install a trap that stops the server on exit
#   quarn_pg_stop    stop the server and remove its directory
#
# QUARN_PG_DSN has the libpq keyword form the data tests read:
#   host=127.0.0.1 port=54321 dbname=quarn_test user=quarn password=quarn
# PostgreSQL refuses to run as root, so the server runs as "postgres".

QUARN_PG_DIR=""

quarn_pg_bin() {
  local d
  d=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
  [ -n "$d" ] && echo "$d"
}

quarn_pg_as_postgres() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

# A port on 127.0.0.1 that nothing listens on.
quarn_pg_free_port() {
  local p
  for p in $(shuf -i 20000-60000 -n 100); do
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; then
      echo "$p"
      return 0
    fi
  done
  return 1
}

quarn_pg_start() {
  local bin port
  bin=$(quarn_pg_bin) || true
  if [ -z "$bin" ]; then
    echo "PostgreSQL не установлен: тесты PostgreSQL будут пропущены" >&2
    return 0
  fi
  QUARN_PG_DIR=$(mktemp -d /tmp/quarn-pg.XXXXXX)
  [ "$(id -u)" -eq 0 ] && chown postgres: "$QUARN_PG_DIR"
  trap quarn_pg_stop EXIT
  echo quarn > "$QUARN_PG_DIR/pw"
  [ "$(id -u)" -eq 0 ] && chown postgres: "$QUARN_PG_DIR/pw"
  quarn_pg_as_postgres "$bin/initdb" -D "$QUARN_PG_DIR/data" -U postgres --pwfile="$QUARN_PG_DIR/pw" \
    --auth=scram-sha-256 -E UTF8 --locale=C.UTF-8 >"$QUARN_PG_DIR/initdb.log" 2>&1 \
    || { cat "$QUARN_PG_DIR/initdb.log" >&2; return 1; }
  port=$(quarn_pg_free_port)
  quarn_pg_as_postgres "$bin/pg_ctl" -D "$QUARN_PG_DIR/data" -l "$QUARN_PG_DIR/server.log" -w -t 60 \
    -o "-c listen_addresses=127.0.0.1 -p $port -k $QUARN_PG_DIR -c fsync=off" start >/dev/null \
    || { cat "$QUARN_PG_DIR/server.log" >&2; return 1; }
  PGPASSWORD=quarn "$bin/psql" -h 127.0.0.1 -p "$port" -U postgres -d postgres -q -v ON_ERROR_STOP=1 \
    -c "CREATE USER quarn PASSWORD 'quarn' SUPERUSER" -c "CREATE DATABASE quarn_test OWNER quarn" \
    || return 1
  export QUARN_PG_DSN="host=127.0.0.1 port=$port dbname=quarn_test user=quarn password=quarn"
  echo "PostgreSQL для тестов: $QUARN_PG_DSN"
}

quarn_pg_stop() {
  local bin
  [ -n "$QUARN_PG_DIR" ] && [ -d "$QUARN_PG_DIR" ] || return 0
  bin=$(quarn_pg_bin)
  quarn_pg_as_postgres "$bin/pg_ctl" -D "$QUARN_PG_DIR/data" -m immediate -w stop >/dev/null 2>&1 || true
  rm -rf "$QUARN_PG_DIR"
  QUARN_PG_DIR=""
}
