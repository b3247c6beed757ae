#!/usr/bin/env bash
# Builds the Debian package with CPack into build/ (or $BUILD_DIR) and checks it:
# the desktop entry, icon, metainfo, translations, manual pages and copyright
# are inside, no test or benchmark executable is, the installed desktop entry
# and metainfo validate, and lintian finds no error or warning.
#   bash scripts/package.sh        # prints the path of the .deb last
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
"$root/scripts/deps.sh" package
"$root/scripts/build.sh"
(cd "$build" && cpack -G DEB >/dev/null)
deb="$(ls -t "$build"/bin4870_*.deb | head -n 1)"

contents="$(dpkg-deb --contents "$deb")"
status=0
for wanted in ./usr/bin/bin4870 ./usr/bin/tester-sim ./usr/share/doc/bin4870/readmeE.txt \
        ./usr/share/doc/bin4870/copyright ./usr/share/doc/bin4870/changelog.gz \
        ./usr/share/man/man1/bin4870.1.gz ./usr/share/man/man1/tester-sim.1.gz \
        ./usr/share/applications/org.bin4870.bin4870.desktop \
        ./usr/share/icons/hicolor/scalable/apps/org.bin4870.bin4870.svg \
        ./usr/share/metainfo/org.bin4870.bin4870.metainfo.xml \
        ./usr/share/bin4870/translations/bin4870_en.qm; do
    if ! grep -q " $wanted\$" <<<"$contents"; then
        echo "package.sh: $wanted is missing from $deb" >&2; status=1
    fi
done
if grep -E '/(tst_|bench_|fuzz_)[^/]*$' <<<"$contents"; then
    echo "package.sh: test, benchmark or fuzz executables in $deb" >&2; status=1
fi
depends="$(dpkg-deb --field "$deb" Depends)"
echo "Depends: $depends"
for lib in libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 libqt6charts6 libqt6sql6-sqlite; do
    grep -q "$lib" <<<"$depends" || { echo "package.sh: Depends lacks $lib" >&2; status=1; }
done
if grep -q -- '-dev' <<<"$depends"; then
    echo "package.sh: Depends names a -dev package" >&2; status=1
fi
recommends="$(dpkg-deb --field "$deb" Recommends)"
grep -q libqt6sql6-psql <<<"$recommends" || { echo "package.sh: Recommends lacks libqt6sql6-psql" >&2; status=1; }
if grep -q postgresql <<<"$depends $recommends"; then
    echo "package.sh: the package pulls in a PostgreSQL server" >&2; status=1
fi

unpacked="$(mktemp -d)"
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
desktop-file-validate "$unpacked/usr/share/applications/org.bin4870.bin4870.desktop" || status=1
metainfo="$unpacked/usr/share/metainfo/org.bin4870.bin4870.metainfo.xml"
appstreamcli validate --pedantic --no-net "$metainfo" || status=1
# The screenshots are the README's pictures as published under the project's
# home page.
home="$(sed -n 's|.*<url type="homepage">\(.*\)</url>.*|\1|p' "$metainfo")"
[ "$home" = "$(dpkg-deb --field "$deb" Homepage)" ] || {
    echo "package.sh: the metainfo's home page is not the package's Homepage" >&2; status=1; }
while read -r image; do
    case "$image" in
        "${home}docs/"*) [ -f "$root/docs/${image#"${home}docs/"}" ] ||
            { echo "package.sh: screenshot $image is no picture in docs/" >&2; status=1; } ;;
        *) echo "package.sh: screenshot $image is not under $home" >&2; status=1 ;;
    esac
done < <(sed -n 's|.*<image>\(.*\)</image>.*|\1|p' "$metainfo")
# Debian's package checks: any error or warning fails the package.
lintian --fail-on error,warning "$deb" || { echo "package.sh: lintian reports errors or warnings" >&2; status=1; }

[ "$status" -eq 0 ] || exit "$status"
echo "$deb"
