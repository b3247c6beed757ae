#!/usr/bin/env bash
# A throwaway PostgreSQL server for developers, tests and benchmarks.
#
#   scripts/dev-db.sh start DIR   initialises DIR once, then starts the server
#   scripts/dev-db.sh stop DIR    stops it (fast shutdown: clients are cut off)
#
# Everything lives in DIR: the cluster (DIR/data), its log (DIR/server.log) and
# the server's Unix socket. The server listens on that socket only, never on
# TCP. It has one role and one database, both "bin4870"; the role's password
# "bin4870" is in DIR/pgpass, which libpq reads when PGPASSFILE names it. The
# port (5432 unless DEV_DB_PORT says otherwise) only names the socket file.
#
# initdb refuses to run as root: as root the server runs as the postgres user
# of Debian's postgresql package, and DIR is handed to that user.
set -euo pipefail

usage() { echo "usage: $0 start|stop DIR" >&2; exit 2; }
[ $# -eq 2 ] || usage
action=$1
dir=$(realpath -m -- "$2")
port=${DEV_DB_PORT:-5432}
role=bin4870
password=bin4870

bindir=""
for candidate in /usr/lib/postgresql/15/bin $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -rV); do
    if [ -x "$candidate/initdb" ] && [ -x "$candidate/pg_ctl" ]; then bindir=$candidate; break; fi
done
if [ -z "$bindir" ]; then
    echo "dev-db.sh: no PostgreSQL server found; run: bash scripts/deps.sh test" >&2
    exit 1
fi

# Runs a command as the server's owner.
as_owner() {
    if [ "$(id -u)" -eq 0 ]; then
        runuser -u postgres -- "$@"
    else
        "$@"
    fi
}

case "$action" in
start)
    mkdir -p -- "$dir"
    if [ "$(id -u)" -eq 0 ]; then
        if ! id postgres >/dev/null 2>&1; then
            echo "dev-db.sh: running as root needs the postgres user (Debian's postgresql package)" >&2
            exit 1
        fi
        chown postgres: -- "$dir"
        chmod 0700 -- "$dir"
        if ! runuser -u postgres -- test -w "$dir"; then
            echo "dev-db.sh: the postgres user cannot reach $dir (a folder above it is closed to others)" >&2
            exit 1
        fi
    fi
    if [ ! -f "$dir/data/PG_VERSION" ]; then
        pwfile="$dir/initdb.pw"
        (umask 077; printf '%s\n' "$password" > "$pwfile")
        [ "$(id -u)" -ne 0 ] || chown postgres: -- "$pwfile"
        as_owner "$bindir/initdb" -D "$dir/data" -U "$role" --pwfile="$pwfile" \
            --auth-local=scram-sha-256 --auth-host=scram-sha-256 -E UTF8 --no-locale --no-sync >"$dir/initdb.log" 2>&1 || {
            cat "$dir/initdb.log" >&2; rm -f -- "$pwfile"; exit 1; }
        rm -f -- "$pwfile"
        quoted=${dir//\'/\'\'}
        cat >>"$dir/data/postgresql.conf" <<CONF
# dev-db.sh: a Unix socket in its own folder, no TCP.
listen_addresses = ''
unix_socket_directories = '$quoted'
port = $port
CONF
        (umask 077; printf '*:*:*:%s:%s\n' "$role" "$password" > "$dir/pgpass")
        [ "$(id -u)" -ne 0 ] || chown postgres: -- "$dir/pgpass"
        fresh=1
    fi
    if ! as_owner "$bindir/pg_ctl" -D "$dir/data" status >/dev/null 2>&1; then
        as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 start >/dev/null || {
            tail -n 20 "$dir/server.log" >&2; exit 1; }
    fi
    if [ "${fresh:-0}" = 1 ]; then
        as_owner env PGPASSFILE="$dir/pgpass" \
            "$bindir/psql" -q -h "$dir" -p "$port" -U "$role" -d postgres -c "CREATE DATABASE $role" >/dev/null
    fi
    echo "PostgreSQL running: socket folder $dir, port $port, user $role, database $role"
    echo "password file: export PGPASSFILE=$dir/pgpass"
    ;;
stop)
    if [ -f "$dir/data/PG_VERSION" ] && as_owner "$bindir/pg_ctl" -D "$dir/data" status >/dev/null 2>&1; then
        as_owner "$bindir/pg_ctl" -D "$dir/data" -m fast -w -t 60 stop >/dev/null
    fi
    ;;
*)
    usage
    ;;
esac
