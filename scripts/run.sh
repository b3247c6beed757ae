#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program with the simulated
# tester linked as its COM port, so START shows readings without an instrument.
# The simulator stops when the program ends.
#
# The simulator is left out when TESTER_SIM=0, or when the port's COMn entry in
# the program's folder already leads to a real device (a tester is connected).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
"$root/scripts/deps.sh"
# Only what runs here: the program and the simulated tester, no test or benchmark.
BUILD_TARGETS="bin4870 tester-sim" "$root/scripts/build.sh"
bin="$build/bin"

# The port the program will open, as the program's own code reads Settings.ini.
port="$("$bin/tester-sim" --print-port "$bin")"

link="$bin/COM$port"
use_sim="${TESTER_SIM:-1}"
if [ -L "$link" ] && [ -e "$link" ] && [[ "$(readlink -f "$link")" != /dev/pts/* ]]; then
    echo "COM$port leads to $(readlink -f "$link"): using that device, not the simulated tester." >&2
    use_sim=0
elif [ -e "$link" ] && [ ! -L "$link" ]; then
    echo "$link is not a link: using it as it is, not the simulated tester." >&2
    use_sim=0
fi

sim_pid=""
sim_log=""
stop_sim() {
    if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
        kill -TERM "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    [ -n "$sim_log" ] && rm -f "$sim_log"
}
trap stop_sim EXIT
trap 'exit 130' INT TERM

if [ "$use_sim" != 0 ]; then
    sim_log="$(mktemp)"
    "$bin/tester-sim" --dir "$bin" --port "$port" >"$sim_log" 2>&1 &
    sim_pid=$!
    for _ in $(seq 1 100); do
        grep -q '^ready ' "$sim_log" && break
        if ! kill -0 "$sim_pid" 2>/dev/null; then
            echo "The simulated tester did not start:" >&2
            cat "$sim_log" >&2
            exit 1
        fi
        sleep 0.1
    done
    if ! grep -q '^ready ' "$sim_log"; then
        echo "The simulated tester did not become ready." >&2
        exit 1
    fi
    echo "Simulated tester: $(grep '^ready ' "$sim_log" | head -n 1 | cut -d' ' -f2-)" >&2
fi

status=0
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: starting the program under Xvfb (nothing will be visible)." >&2
    xvfb-run -a "$bin/bin4870" || status=$?
else
    "$bin/bin4870" || status=$?
fi
exit "$status"
