#!/usr/bin/env bash
# The ODBC tests' back ends, as a CTest fixture: "start LINK" makes a temporary folder with
# private driver and data-source definitions (odbcinst.ini, odbc.ini, named by ODBCSYSINI and
# ODBCINI in the tests) and a private PostgreSQL cluster listening only on a Unix socket in
# that folder; LINK then points at the folder. "stop LINK" stops the cluster and removes it.
# Nothing outside the folder is changed.
set -euo pipefail
action=$1
link=$2
port=54329

as_owner() {
  # The server refuses to run as root; as root it runs as the postgres system user.
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

pg_bin() {
  ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n1 || true
}

driver() {
  ls /usr/lib/*/odbc/"$1" /usr/lib/odbc/"$1" 2>/dev/null | head -n1 || true
}

case "$action" in
start)
  "$0" stop "$link" 2>/dev/null || true
  bin=$(pg_bin)
  [ -n "$bin" ] || { echo "PostgreSQL server programs not found" >&2; exit 1; }
  psql_driver=$(driver psqlodbcw.so)
  sqlite_driver=$(driver libsqlite3odbc.so)
  [ -n "$psql_driver" ] && [ -n "$sqlite_driver" ] || { echo "ODBC drivers not found" >&2; exit 1; }
  base=/tmp
  [ "$(id -u)" -eq 0 ] || base=${TMPDIR:-/tmp}
  dir=$(mktemp -d "$base/zqk-odbc-XXXXXX")
  chmod 755 "$dir"
  password="zqk-$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')"
  printf '%s\n' "$password" >"$dir/password"
  chmod 600 "$dir/password"
  if [ "$(id -u)" -eq 0 ]; then chown postgres "$dir" "$dir/password"; fi
  as_owner "$bin/initdb" -D "$dir/data" -U zqk --pwfile="$dir/password" -A scram-sha-256 \
    -E UTF8 --locale=C --no-sync >"$dir/initdb.log" 2>&1 ||
    { cat "$dir/initdb.log" >&2; exit 1; }
  as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
    -o "-c listen_addresses='' -k $dir -p $port -c fsync=off -c max_connections=60" start >/dev/null ||
    { cat "$dir/server.log" >&2; exit 1; }
  cat >"$dir/odbcinst.ini" <<INI
[ZQK PostgreSQL]
Driver=$psql_driver

[ZQK SQLite3]
Driver=$sqlite_driver
INI
  cat >"$dir/odbc.ini" <<INI
[zqk_pg]
Driver=ZQK PostgreSQL
Servername=$dir
Port=$port
Database=postgres
BoolsAsChar=0

[zqk_pg_stopped]
Driver=ZQK PostgreSQL
Servername=$dir
Port=$((port + 1))
Database=postgres
INI
  printf 'port=%s\n' "$port" >"$dir/cluster"
  ln -sfn "$dir" "$link"
  ;;
stop)
  [ -L "$link" ] || exit 0
  dir=$(readlink "$link")
  bin=$(pg_bin)
  if [ -f "$dir/data/postmaster.pid" ]; then
    as_owner "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null || true
  fi
  rm -rf "$dir" "$link"
  ;;
*)
  echo "usage: $0 start|stop LINK" >&2
  exit 2
  ;;
esac
