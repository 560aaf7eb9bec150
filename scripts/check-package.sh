#!/usr/bin/env bash
# Checks the Debian package that `make package` built in BUILD_DIR: its control
# fields and maintainer scripts, that it ships what it should under /usr and
# nothing else, that the unpacked programs run and find their program folder,
# and that the desktop files, the metainfo, the MIME type and the man pages pass
# the desktop's own validators.
#   scripts/check-package.sh [BUILD_DIR]        (make package-check)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/dist}

failures=0
fail() {
    echo "check-package: FAIL: $*" >&2
    failures=$((failures + 1))
}
note() { echo "check-package: $*"; }

for tool in dpkg-deb desktop-file-validate appstreamcli man script update-mime-database file; do
    command -v "$tool" >/dev/null || { echo "check-package: $tool is missing (make deps)" >&2; exit 2; }
done

version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
arch=$(dpkg --print-architecture)
deb=$build/zentari_${version}_${arch}.deb
[[ -n $version && -f $deb ]] || { echo "check-package: no $deb (make package)" >&2; exit 2; }
note "checking $deb"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# --- Control fields -------------------------------------------------------------
[[ $(dpkg-deb --field "$deb" Package) == zentari ]] || fail "Package is not zentari"
[[ $(dpkg-deb --field "$deb" Version) == "$version" ]] || fail "Version is not $version"
depends=$(dpkg-deb --field "$deb" Depends)
note "Depends: $depends"
# What the programs link must be installed with them.
for lib in libqt6widgets6 libqt6gui6 libqt6core6 libhidapi-hidraw0 libudev1 libcurl4 libfontconfig1 libfreetype6; do
    [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib"
done

# --- Maintainer scripts: must not fail where udev does not run --------------------
dpkg-deb --control "$deb" "$scratch/control"
fakebin=$scratch/fakebin
mkdir -p "$fakebin"
# A udevadm that fails and says it was called.
printf '#!/bin/sh\necho "$*" >>"%s/udevadm-calls"\nexit 1\n' "$scratch" >"$fakebin/udevadm"
chmod +x "$fakebin/udevadm"
for script in postinst postrm; do
    f=$scratch/control/$script
    [[ -x $f ]] || { fail "$script missing or not executable"; continue; }
    sh -n "$f" || fail "$script: syntax error"
    for argument in configure remove purge upgrade; do
        rm -f "$scratch/udevadm-calls"
        PATH=$fakebin:/usr/bin:/bin sh "$f" "$argument" || fail "$script $argument failed when udevadm fails"
        # Without a running udev, udevadm is not asked at all.
        if [[ ! -S /run/udev/control && -e $scratch/udevadm-calls ]]; then
            fail "$script $argument called udevadm although udev does not run"
        fi
        PATH=/nonexistent:/usr/bin:/bin sh "$f" "$argument" >/dev/null 2>&1 ||
            fail "$script $argument failed without udevadm"
    done
done

# --- Contents ---------------------------------------------------------------------
root=$scratch/root
dpkg-deb -x "$deb" "$root"
# Everything under /usr; nothing built for the tests or the benchmarks.
outside=$(cd "$root" && find . -mindepth 1 -maxdepth 1 ! -name usr)
[[ -z $outside ]] || fail "files outside /usr: $outside"
programs=$(cd "$root/usr/bin" && ls | sort | tr '\n' ' ')
[[ $programs == "qvfmake vornload zentari zentari-cli " ]] || fail "usr/bin holds: $programs"
shipped=(
    usr/share/zentari/Images usr/share/zentari/language/English.dll usr/share/zentari/icons/174.png
    usr/share/zentari/QK510/isd_tools.cfg usr/share/zentari/QK510/r_makebin.sh
    usr/share/zentari/Font/QVSimsun.qvf usr/share/zentari/Font/QVSong12.qvf usr/share/zentari/Font/QVSong16.qvf
    usr/share/zentari/DefaultGif.dat usr/share/zentari/DefaultImage.dat usr/share/zentari/Toolbar.dat
    usr/lib/udev/rules.d/60-zentari.rules usr/lib/udev/rules.d/61-vornload.rules
    usr/share/applications/zentari.desktop usr/share/metainfo/org.zentari.zentari.metainfo.xml
    usr/share/mime/packages/zentari.xml usr/share/icons/hicolor/scalable/apps/zentari.svg
    usr/share/bash-completion/completions/zentari-cli usr/share/bash-completion/completions/vornload
)
for program in zentari zentari-cli vornload qvfmake; do shipped+=("usr/share/man/man1/$program.1"); done
for path in "${shipped[@]}"; do
    [[ -e $root/$path ]] || fail "not shipped: /$path"
done
[[ -x $root/usr/share/zentari/QK510/r_makebin.sh ]] || fail "r_makebin.sh is not executable"
for size in 16 22 24 32 48 64 128 256; do
    png=$root/usr/share/icons/hicolor/${size}x$size/apps/zentari.png
    file -b "$png" | grep -q "PNG image data, $size x $size," || fail "$png is not a $size x $size PNG"
done
for script in "$root"/usr/share/bash-completion/completions/*; do
    bash -n "$script" || fail "$script: syntax error"
done

# --- The unpacked programs run and find their program folder ----------------------
# Only the unpacked root: no ZENTARI_PROGRAM_DIR, a home of its own.
home=$scratch/home
mkdir -p "$home"
run() {
    env -i PATH="$root/usr/bin:/usr/bin:/bin" HOME="$home" XDG_DATA_HOME="$home/data" \
        XDG_RUNTIME_DIR="$scratch" TMPDIR="$scratch" QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 "$@"
}
chmod 700 "$scratch"
for program in zentari zentari-cli vornload; do
    out=$(run "$root/usr/bin/$program" --version 2>&1) || fail "$program --version failed: $out"
    [[ $out == "$program $version" ]] || fail "$program --version says '$out', not '$program $version'"
done
run "$root/usr/bin/qvfmake" --help >/dev/null || fail "qvfmake --help failed"
run "$root/usr/bin/zentari" --help | grep -q -- --virtual-sign || fail "zentari --help lacks --virtual-sign"

# The images of the test projects with bitmap fonts and the shipped animations
# come out byte for byte only when the program folder's fonts and libraries are found.
for case in bitmap-font-fields animation-picture-red several-pages; do
    fixture=tests/fixtures/images/$case
    args=(image "$fixture/project.vqd" -o "$scratch/$case.bin")
    [[ -f $fixture/screen.txt ]] && args+=(--screen "$(head -n1 "$fixture/screen.txt" | tr -d '\r')")
    if ! out=$(run "$root/usr/bin/zentari-cli" "${args[@]}" 2>&1); then
        fail "zentari-cli image $case failed: $out"
    elif ! cmp -s "$scratch/$case.bin" "$fixture/expected.bin"; then
        fail "zentari-cli image $case differs from $fixture/expected.bin: the program folder was not found whole"
    fi
done
[[ -d $home/data/Zentari ]] || fail "zentari-cli made no data folder in \$XDG_DATA_HOME"

# vornload reads the board's description from the current folder: the shipped chip
# folder's. Its console (no arguments) on a terminal reads it for every command.
console() {  # FOLDER INPUT: vornload's console in FOLDER under a pseudo-terminal
    (cd "$1" && printf '%s' "$2" | run script -qec "$root/usr/bin/vornload" /dev/null)
}
chip=$root/usr/share/zentari/QK510
if ! out=$(console "$chip" $'ds\nq\n' 2>&1); then
    fail "vornload's console in $chip failed: $out"
elif [[ $out != *"? for help"* || $out != *"Show disk status"* ]]; then
    fail "vornload's console did not read $chip/isd_tools.cfg: $out"
fi
# The same without the description must fail, or the check above proves nothing.
mkdir -p "$scratch/empty"
if out=$(console "$scratch/empty" $'ds\nq\n' 2>&1) || [[ $out == *"Show disk status"* ]]; then
    fail "vornload's console went on without isd_tools.cfg: $out"
fi
# A file run: the flash image of the shipped board, built from a copy of the chip folder.
cp -r "$chip" "$scratch/chip"
head -c 2048 /dev/zero | tr '\0' '\125' >"$scratch/chip/uboot.boot"
head -c 4096 /dev/zero | tr '\0' '\252' >"$scratch/chip/sdram.app"
if ! out=$(cd "$scratch/chip" && run "$root/usr/bin/vornload" -f uboot.boot sdram.app -toflashfile image.bin 2>&1); then
    fail "vornload could not build an image from the shipped board: $out"
elif [[ ! -s $scratch/chip/image.bin ]]; then
    fail "vornload wrote no image.bin: $out"
fi

# --- The desktop's validators -----------------------------------------------------
desktop=$root/usr/share/applications/zentari.desktop
out=$(desktop-file-validate "$desktop" 2>&1) || true
[[ -z $out ]] || fail "desktop-file-validate: $out"
exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[[ -x $root/usr/bin/$exec_program ]] || fail "Exec=$exec_program is not shipped"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[[ -f $root/usr/share/icons/hicolor/scalable/apps/$icon.svg ]] || fail "Icon=$icon is not shipped"

metainfo=$root/usr/share/metainfo/org.zentari.zentari.metainfo.xml
out=$(appstreamcli validate --no-net --strict "$metainfo" 2>&1) || fail "appstreamcli validate: $out"
# The metainfo together with the desktop file it launches.
out=$(appstreamcli validate-tree --no-net "$root" 2>&1) || fail "appstreamcli validate-tree: $out"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"

# The MIME type registers with its glob.
cp -r "$root/usr/share/mime" "$scratch/mime"
# (Its data folder in the search path, so that it only speaks of real problems.)
out=$(XDG_DATA_HOME=$scratch update-mime-database "$scratch/mime" 2>&1) || fail "update-mime-database: $out"
[[ -z $out ]] || fail "update-mime-database: $out"
grep -q '^[0-9]*:application/x-zentari-project:\*\.vqd' "$scratch/mime/globs2" ||
    fail "the MIME database has no *.vqd for application/x-zentari-project"

for page in "$root"/usr/share/man/man1/*.1; do
    out=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null) ||
        fail "man $page failed: $out"
    [[ -z $out ]] || fail "man --warnings $(basename "$page"): $out"
done

if ((failures)); then
    echo "check-package: $failures failure(s)" >&2
    exit 1
fi
note "all checks passed"
