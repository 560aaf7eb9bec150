#!/usr/bin/env bash
# Checks that the shipped desktop files agree with the project and with each
# other: the version the metainfo and the man pages name, the programs, the
# MIME type and the icon sizes. (scripts/check-package.sh validates the files
# themselves with the desktop's own tools.)
#   metadata_test.sh SOURCE_DIR VERSION
set -uo pipefail

src=$1
version=$2
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

desktop=$src/data/desktop/zentari.desktop
metainfo=$(ls "$src"/data/desktop/*.metainfo.xml)
mime=$src/data/desktop/zentari-mime.xml

# The newest release is the first; it must be this version.
release=$(grep -o '<release [^>]*version="[^"]*"' "$metainfo" | head -n1 | sed 's/.*version="\([^"]*\)"/\1/')
[[ $release == "$version" ]] || fail "the metainfo's newest release is '$release', the project is $version"

for page in "$src"/docs/man/*.1; do
    grep -q "^\.TH .*\"Zentari $version\"" "$page" || fail "$(basename "$page"): .TH does not name Zentari $version"
done
for program in zentari zentari-cli vornload qvfmake; do
    [[ -f $src/docs/man/$program.1 ]] || fail "no man page for $program"
    grep -q "<binary>$program</binary>" "$metainfo" || fail "the metainfo does not provide $program"
done

# The desktop file starts the window program with the file, for the type the
# MIME description defines; the metainfo launches that desktop file.
grep -qx 'Exec=zentari %f' "$desktop" || fail "Exec is not 'zentari %f'"
type=$(sed -n 's/.*<mime-type type="\([^"]*\)".*/\1/p' "$mime")
[[ $type == application/x-zentari-project ]] || fail "the MIME description defines '$type'"
grep -qx "MimeType=$type;" "$desktop" || fail "the desktop file does not take $type"
grep -q "<mediatype>$type</mediatype>" "$metainfo" || fail "the metainfo does not provide $type"
grep -q '<glob pattern="\*\.vqd"/>' "$mime" || fail "the MIME description has no *.vqd glob"
grep -q "<launchable type=\"desktop-id\">$(basename "$desktop")</launchable>" "$metainfo" ||
    fail "the metainfo does not launch $(basename "$desktop")"

# Screenshots are served over https from the images committed in docs/images.
while read -r url; do
    [[ $url == https://*/docs/images/* ]] || fail "screenshot $url is not https://.../docs/images/..."
    [[ -f $src/docs/images/${url##*/docs/images/} ]] || fail "screenshot $url: no such file in docs/images"
done < <(sed -n 's/.*<image[^>]*>\([^<]*\)<\/image>.*/\1/p' "$metainfo")
grep -q '<image' "$metainfo" || fail "the metainfo has no screenshot"

# Each icon rendering has the size its name says (the PNG header's width and
# height, big-endian at bytes 16 and 20).
icon=$(sed -n 's/^Icon=//p' "$desktop")
[[ -f $src/data/icons/app/$icon.svg ]] || fail "no $icon.svg for Icon=$icon"
for size in 16 22 24 32 48 64 128 256; do
    png=$src/data/icons/app/$icon-$size.png
    if [[ ! -f $png ]]; then
        fail "no $icon-$size.png"
        continue
    fi
    read -r w h < <(od -An -tu1 -j16 -N8 "$png" |
        awk '{ print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4, $5 * 16777216 + $6 * 65536 + $7 * 256 + $8 }')
    [[ $w == "$size" && $h == "$size" ]] || fail "$icon-$size.png is ${w}x$h"
done

if ((failures)); then
    echo "$failures failure(s)" >&2
    exit 1
fi
echo "metadata: version $version, desktop file, metainfo, MIME type, man pages and icons agree"
