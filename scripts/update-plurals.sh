#!/usr/bin/env bash
# Writes translations/bin4870_en.ts (or the file given): every text of src/
# that shows a count (%n) with its English singular and plural, made from the
# text itself. A letter followed by "(s)" or "(es)" loses it in the singular
# and keeps the letters in the plural ("%n cell(s)" -> "%n cell", "%n cells");
# a text that rule cannot make goes into the table below. Run it after adding
# or changing such a text and commit the file; the test tst_translations fails
# until then.
#   bash scripts/update-plurals.sh [output.ts]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="${1:-$root/translations/bin4870_en.ts}"
lupdate="$(command -v lupdate || true)"
[ -n "$lupdate" ] || lupdate=/usr/lib/qt6/bin/lupdate
if [ ! -x "$lupdate" ]; then
    echo "update-plurals.sh: lupdate not found; bash scripts/deps.sh installs it (qt6-l10n-tools)" >&2
    exit 1
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$lupdate" -silent -pluralonly -no-obsolete -locations none -target-language en "$root/src" -ts "$work/en.ts"

# The table: source text, as lupdate writes it (XML entities and all) => [singular, plural].
perl -0pi -e '
    my %forms = (
        "%n time(s)" => ["once", "%n times"],
    );
    s{(<message numerus="yes">\s*<source>(.*?)</source>\s*)<translation type="unfinished">\s*<numerusform></numerusform>\s*<numerusform></numerusform>(\s*)</translation>}{
        my ($head, $source, $space) = ($1, $2, $3);
        my ($one, $many) = @{ $forms{$source} // [$source, $source] };
        unless (exists $forms{$source}) {
            $one =~ s/(?<=[A-Za-z])\((s|es)\)//g;
            $many =~ s/(?<=[A-Za-z])\((s|es)\)/$1/g;
        }
        "$head<translation>\n            <numerusform>$one</numerusform>\n"
            . "            <numerusform>$many</numerusform>$space</translation>"
    }gse;
    die "update-plurals.sh: lupdate wrote a count text in a form this script does not know\n"
        if /type="unfinished"/;
' "$work/en.ts"
mkdir -p "$(dirname "$out")"
mv "$work/en.ts" "$out"
