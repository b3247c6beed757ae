#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need.
# Does nothing when everything is already there; safe to run any number of times.
set -euo pipefail

# qt6-l10n-tools: lrelease compiles the translations at build time; lupdate,
# from the same package, is what tests and scripts/update-plurals.sh run over
# the sources.
packages=(cmake g++ make pkg-config qt6-base-dev qt6-serialport-dev qt6-charts-dev libqt6opengl6-dev
          qt6-multimedia-dev libqt6sql6-sqlite libsqlite3-dev libqt6sql6-psql qt6-l10n-tools poppler-utils
          libgl-dev fonts-dejavu-core fonts-dejavu-extra xvfb xauth)
# Extra groups on request: "fuzz" for clang's libFuzzer and sanitizers,
# "package" for building and checking the .deb (scripts/package.sh), "test"
# for the PostgreSQL server that tests and benchmarks start (scripts/dev-db.sh),
# "screenshot" for retaking the README's picture (scripts/screenshot.sh).
for extra in "$@"; do
    case "$extra" in
        fuzz) packages+=(clang-14 libclang-rt-14-dev) ;;
        screenshot) packages+=(imagemagick xdotool) ;;
        package) packages+=(dpkg-dev file desktop-file-utils appstream lintian) ;;
        test) packages+=(postgresql) ;;
        *) echo "deps.sh: unknown group '$extra'" >&2; exit 2 ;;
    esac
done

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
