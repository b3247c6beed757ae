#!/usr/bin/env bash
# Retakes the README's pictures of the windows: docs/screenshot.png, the main
# window during a session (the program as installed, run by a user "operator"
# against the simulated tester, with three cells counted), and
# docs/screenshot-batch.png and docs/screenshot-stability.png, the batch window
# on 3,000 generated cells in that user's documents folder, and
# docs/screenshot-line.png, its stability tab on a shared database of six
# benches (a PostgreSQL server of its own, started by scripts/dev-db.sh), and
# docs/screenshot-pack.png and docs/screenshot-placement.png, the build sheet
# of a 14s40p pack from 700 cells with a capacity file and the placement
# window answering scans of it.
#
#   bash scripts/screenshot.sh [output folder, default docs/]
#
# Runs as root: the program sees /home/operator, a scratch folder mounted over
# /home in a private mount namespace (unshare), so the window shows the data
# file where an operator's would be (~/Documents) and no folder of this
# machine. Nothing outside that namespace is touched but the pictures.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
out="$(realpath -m "${1:-$root/docs}")"

if [ "${BIN4870_SCREENSHOT_INNER:-}" != 1 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "screenshot.sh: run as root (it mounts a scratch /home in its own namespace)." >&2
        exit 1
    fi
    "$root/scripts/deps.sh" screenshot test
    BUILD_TARGETS="bin4870 tester-sim batch_screenshot pack_screenshot" "$root/scripts/build.sh"
    mkdir -p "$out"
    stage="$(mktemp -d)"
    trap 'rm -rf "$stage"' EXIT
    # Installed, the program keeps its files in the user's folders.
    cmake --install "$build" --prefix "$stage/usr" >/dev/null
    BIN4870_SCREENSHOT_INNER=1 BIN4870_STAGE="$stage" BIN4870_BUILD_BIN="$build/bin" \
        unshare --mount --propagation private -- \
        xvfb-run -a -s "-screen 0 1280x1024x24" bash "${BASH_SOURCE[0]}" "$out"
    echo "wrote $out/screenshot.png, screenshot-batch.png, screenshot-stability.png, screenshot-line.png,"
    echo "      screenshot-pack.png and screenshot-placement.png"
    exit 0
fi

# Inside the namespace and the X server from here on.
mount -t tmpfs -o mode=0755 tmpfs /home
home=/home/operator
config="$home/.config/bin4870"
mkdir -p "$home/Documents" "$config"
mkdir -m 0700 "$home/.runtime"
export XDG_RUNTIME_DIR="$home/.runtime"
# Settings.ini: COM1; resistance Min - Step, 5 BINs from 15 by 9 mOhm; voltage
# Min - Step, 4 BINs from 3.0 by 0.3 V; the window at the screen's corner.
printf ' 1 \r\n 1 \r\n5\r\n15\r\n9\r\n 1 \r\n4\r\n3\r\n0.3\r\n 0 \r\n 0 \r\n' >"$config/Settings.ini"

bin="$BIN4870_STAGE/usr/bin"
"$bin/tester-sim" --dir "$config" --port 1 --reply '0.0553,3.652' >/dev/null 2>&1 &
sim=$!
program=""
cleanup() {
    [ -n "$program" ] && kill "$program" 2>/dev/null || true
    kill "$sim" 2>/dev/null || true
    wait 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 1 100); do [ -e "$config/COM1" ] && break; sleep 0.1; done

env -i PATH="$PATH" DISPLAY="$DISPLAY" XAUTHORITY="${XAUTHORITY:-}" HOME="$home" XDG_RUNTIME_DIR="$XDG_RUNTIME_DIR" \
    USER=operator LOGNAME=operator LANG=C.UTF-8 "$bin/bin4870" >/dev/null 2>&1 &
program=$!
window="$(timeout 30 xdotool search --sync --onlyvisible --name 'BIN Measurement' | head -n 1)" || true
if [ -z "$window" ]; then
    echo "screenshot.sh: the program's window did not appear" >&2
    exit 1
fi
sleep 1
# The buttons keep their fixed places in the window: START, then REC - COUNT
# three times once readings show.
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; }
click 596 503
sleep 2
for _ in 1 2 3; do click 596 175; sleep 0.7; done
data="$home/Documents/$(date +%Y-%m-%d).csv"
if [ "$(wc -l <"$data" 2>/dev/null || echo 0)" -lt 3 ]; then
    echo "screenshot.sh: the three cells were not recorded in $data" >&2
    exit 1
fi
# Away from the buttons, so none shows as hovered.
xdotool mousemove --window "$window" 400 30
sleep 1
import -window "$window" "$out/screenshot.png"
kill "$program" 2>/dev/null || true
wait "$program" 2>/dev/null || true
program=""

HOME="$home" "$BIN4870_BUILD_BIN/batch_screenshot" "$out/screenshot-batch.png" --data-dir="$home/Documents"
HOME="$home" "$BIN4870_BUILD_BIN/batch_screenshot" "$out/screenshot-stability.png" stability --data-dir="$home/Documents"
HOME="$home" "$BIN4870_BUILD_BIN/batch_screenshot" "$out/screenshot-line.png" line --data-dir="$home/Documents"
HOME="$home" "$BIN4870_BUILD_BIN/pack_screenshot" "$out/screenshot-pack.png" "$out/screenshot-placement.png" \
    --data-dir="$home/Documents" --journal-dir="$home/.local/share/bin4870"
