#!/usr/bin/env bash
# Makes every picture of docs/guide.md and README.md into docs/images/, from the example
# project docs/examples/shop.vqd:
#
#   scripts/screenshots.sh [BINDIR]        BINDIR holds zentari and zentari-cli beside their
#                                          program folder (default build/release/bin)
#
# Zentari runs on a virtual display (xvfb-run) with virtual signs; xdotool plays the user and
# ImageMagick's import takes the windows. HOME and the XDG folders point into a scratch folder,
# so your own settings, picture library and recent files are never read or touched. It takes
# one and a half to two minutes and needs no input; a window that does not come stops it with
# a message (and keeps the screen of that moment as $TMPDIR/zentari-screenshots-failed.png).
#
# Needs: xvfb-run and xauth (xvfb, xauth), xdotool, xwininfo (x11-utils), ImageMagick.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)

die() {
    echo "screenshots.sh: $*" >&2
    # On the virtual display, what it showed at that moment tells what went wrong.
    if [[ -n ${scratch:-} ]]; then
        import -window root "${TMPDIR:-/tmp}/zentari-screenshots-failed.png" 2>/dev/null &&
            echo "screenshots.sh: the screen at that moment: ${TMPDIR:-/tmp}/zentari-screenshots-failed.png" >&2
    fi
    exit 1
}

if [[ ${1:-} != --on-virtual-display ]]; then
    case ${1:-} in
        -h | --help)
            sed -n '2,14p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
            exit 0
            ;;
    esac
    bindir=${1:-$root/build/release/bin}
    [[ -x $bindir/zentari && -x $bindir/zentari-cli ]] ||
        die "no zentari and zentari-cli in $bindir (build them first, or name their folder)"
    [[ -d $bindir/Font ]] ||
        die "$bindir has no Font folder: build the target zentari_fonts too (it makes the bitmap fonts)"
    for tool in xvfb-run xauth xdotool xwininfo import convert identify compare; do
        command -v "$tool" >/dev/null || die "$tool is missing (apt install xvfb xauth xdotool x11-utils imagemagick)"
    done
    bindir=$(cd "$bindir" && pwd)
    # A display of our own: nothing of the user's desktop is used or disturbed.
    exec xvfb-run -a -s "-screen 0 1600x900x24" "${BASH_SOURCE[0]}" --on-virtual-display "$bindir"
fi

bindir=$2
project=$root/docs/examples/shop.vqd
out=$root/docs/images
[[ -f $project ]] || die "$project is missing"
mkdir -p "$out"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/zentari-shots.XXXXXX")
app_pid=
cleanup() {
    if [[ -n $app_pid ]] && kill -0 "$app_pid" 2>/dev/null; then
        kill "$app_pid" 2>/dev/null || true
        wait "$app_pid" 2>/dev/null || true
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT

# A fresh user for each run of the program: the first-start questions come as for a new user.
fresh_user() {
    local home=$scratch/$1
    mkdir -p "$home/run"
    chmod 700 "$home/run"
    export HOME=$home
    export XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share
    export XDG_CACHE_HOME=$home/.cache XDG_STATE_HOME=$home/.local/state XDG_RUNTIME_DIR=$home/run
}
export LANG=C.UTF-8 LC_ALL=C.UTF-8 QT_QPA_PLATFORM=xcb
unset LANGUAGE WAYLAND_DISPLAY QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_STYLE_OVERRIDE TERMINAL
# The silent update check at start-up finds nobody to ask, and says nothing.
export ZENTARI_UPDATE_URL=http://127.0.0.1:9/update.xml

start_zentari() {
    "$bindir/zentari" "$@" >"$scratch/zentari.log" 2>&1 &
    app_pid=$!
}

stop_zentari() {
    kill "$app_pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
    app_pid=
}

alive() {
    kill -0 "$app_pid" 2>/dev/null || {
        cat "$scratch/zentari.log" >&2 || true
        die "zentari ended unexpectedly"
    }
}

# --- windows ---------------------------------------------------------------------------------

# The id of the first visible window whose name matches REGEX (and, with MAXWIDTH, is no
# wider than that), waiting up to TIMEOUT seconds.
window() {
    local regex=$1 maxwidth=${2:-100000} timeout=${3:-30} id width end=$((SECONDS + ${3:-30}))
    while ((SECONDS < end)); do
        alive
        for id in $(xdotool search --onlyvisible --name "$regex" 2>/dev/null); do
            width=$(xdotool getwindowgeometry "$id" 2>/dev/null | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
            [[ -n $width ]] && ((width <= maxwidth)) && {
                echo "$id"
                return 0
            }
        done
        sleep 0.2
    done
    die "no window named '$regex' appeared within $timeout s"
}

# The main window: the one wide window whose name ends in "Zentari" (with a "*" when changed).
main_window() {
    local id width end=$((SECONDS + 30))
    while ((SECONDS < end)); do
        alive
        for id in $(xdotool search --onlyvisible --name 'Zentari\*?$' 2>/dev/null); do
            width=$(xdotool getwindowgeometry "$id" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
            ((width >= 800)) && {
                echo "$id"
                return 0
            }
        done
        sleep 0.2
    done
    die "the main window did not appear"
}

gone() {
    local id=$1 end=$((SECONDS + 15))
    while ((SECONDS < end)); do
        xwininfo -id "$id" 2>/dev/null | grep -q IsViewable || return 0
        sleep 0.2
    done
    die "window $2 did not close"
}

# Closes a dialog with Escape, the pointer DX,DY into it so that it has the keyboard.
escape_from() { # ID NAME DX DY
    local geo x y
    geo=$(geometry "$1")
    read -r x y _ _ <<<"$geo"
    xdotool mousemove $((x + $3)) $((y + $4)) key Escape
    gone "$1" "$2"
}

# X Y W H of a window, on one line.
geometry() {
    # shellcheck disable=SC2034 # the eval sets all six
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$1")"
    echo "$X $Y $WIDTH $HEIGHT"
}

# The open pop-up menu (an override-redirect window of ours) as "X Y W H", or nothing.
popup() {
    local w info
    for w in $(xwininfo -root -children | awk '/\("zentari"/ { print $1 }'); do
        info=$(xwininfo -id "$w" 2>/dev/null) || continue
        grep -q 'Map State: IsViewable' <<<"$info" || continue
        grep -q 'Override Redirect State: yes' <<<"$info" || continue
        awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
             /^ *Width:/ { w = $NF } /^ *Height:/ { h = $NF }
             END { if (w > 10 && h > 10) print x, y, w, h }' <<<"$info"
        return 0
    done
}

press() { # a real press and release, which menus take more surely than a bare click
    xdotool mousemove "$1" "$2" mousedown 1
    sleep 0.1
    xdotool mouseup 1
}

# Opens the menu whose title is at X,Y on the menu bar and prints its geometry.
open_menu() {
    local end geo
    for _ in 1 2 3; do
        press "$1" "$2"
        end=$((SECONDS + 3))
        while ((SECONDS < end)); do
            geo=$(popup)
            [[ -n $geo ]] && {
                sleep 0.3
                echo "$geo"
                return 0
            }
            sleep 0.1
        done
    done
    die "the menu at $1,$2 did not open"
}

# Picks the N-th entry of the open menu by keyboard.
menu_entry() {
    local k
    for ((k = 0; k < $1; ++k)); do
        xdotool key Down
    done
    xdotool key Return
}

# A checksum of a part of the screen (WxH+X+Y).
look() {
    import -window root -crop "$1" rgb:- 2>/dev/null | md5sum
}

# Checksums of parts (WxH+X+Y) of a picture of the screen.
parts() {
    local file=$1 area
    shift
    for area; do
        convert "$file" -crop "$area" +repage rgb:- | md5sum
    done
}

# How much of a part (WxH+X+Y) of a picture is bright red: lit LEDs.
lit() {
    convert "$1" -crop "$2" +repage -channel R -separate -threshold 80% -format '%[fx:mean]' info:
}

# Takes the screen until every part (WxH+X+Y) shows lit LEDs and is as in the take before:
# emulated signs between their effects, not in the middle of one. That take is left in
# $scratch/screen.png, and the pictures are cut from it.
still() {
    local what=$1 area a b ok end=$((SECONDS + 40))
    shift
    import -window root "$scratch/screen.png"
    a=$(parts "$scratch/screen.png" "$@")
    while ((SECONDS < end)); do
        sleep 0.3
        import -window root "$scratch/next.png"
        b=$(parts "$scratch/next.png" "$@")
        mv "$scratch/next.png" "$scratch/screen.png"
        ok=
        [[ $a == "$b" ]] && ok=yes
        for area; do
            [[ $ok ]] && ! awk -v v="$(lit "$scratch/screen.png" "$area")" 'BEGIN { exit !(v > 0.003) }' && ok=
        done
        [[ $ok ]] && return 0
        a=$b
    done
    die "$what did not settle on a picture within 40 s"
}

# Cuts a part (WxH+X+Y) of the last still take into docs/images/NAME.
cut_out() {
    convert "$scratch/screen.png" -crop "$1" +repage "$scratch/shot.png"
    keep "$scratch/shot.png" "$2"
}

# Waits until the report log FILE has grown to at least N lines and then stays put for a second.
settled_log() {
    local file=$1 want=$2 n m end=$((SECONDS + 60))
    while ((SECONDS < end)); do
        n=$(wc -l <"$file" 2>/dev/null || echo 0)
        if ((n >= want)); then
            sleep 1
            m=$(wc -l <"$file")
            ((m == n)) && return 0
        else
            sleep 0.2
        fi
    done
    die "the virtual sign did not receive what was sent ($file)"
}

lines() { wc -l <"$1" 2>/dev/null || echo 0; }

# Saves a PNG small: no metadata, best compression.
keep() {
    convert "$1" -strip -define png:compression-level=9 "$out/$2"
    echo "  $2 $(identify -format '%wx%h' "$out/$2")"
}

shoot_window() { # ID NAME
    import -window "$1" "$scratch/shot.png"
    keep "$scratch/shot.png" "$2"
}

shoot_area() { # WxH+X+Y NAME
    import -window root -crop "$1" +repage "$scratch/shot.png"
    keep "$scratch/shot.png" "$2"
}

# First start: the screen-size question, shown before the main window fills.
first_start() {
    local dialog geo dx dy
    dialog=$(window '^Select the screen size$')
    sleep 1
    [[ ${1:-} == shoot ]] && shoot_window "$dialog" first-start.png
    geo=$(geometry "$dialog")
    read -r dx dy _ _ <<<"$geo"
    xdotool mousemove $((dx + 100)) $((dy + 60))
    xdotool key Return
    gone "$dialog" "Select the screen size"
}

# Tree rows are 20 pixels apart, the first at y = 84 (main window at 0,0).
tree_row() {
    press 100 $((84 + 20 * $1))
    sleep 0.3
}

preview_area=600x110+350+135

echo "Pictures into $out"
started=$SECONDS

# --- one sign: the main window, menus, Send, questions, libraries, German -------------------

fresh_user one
log1=$scratch/sign1.log
start_zentari --virtual-sign 48x12 --report-log "$log1" "$project"
first_start shoot
main=$(main_window)
sign=$(window '^Virtual sign 1')
xdotool windowmove "$main" 0 0 windowsize "$main" 1100 700
xdotool windowmove "$sign" 1180 0
sleep 0.5

# The empty screen a first start makes goes; the tree shows the example's screens only:
# Shop (0) welcome heart temperature sale, Door (5) open hours.
tree_row 0
xdotool key Delete
sleep 0.5

tree_row 2 # heart: a picture code, a border
still "the preview" "$preview_area"
cut_out 1100x700+0+0 program-editor.png

geo=$(open_menu 19 8)
read -r mx my mw mh <<<"$geo"
shoot_area $((mx + mw + 260))x$((my + mh + 20))+0+0 file-menu.png
menu_entry 5 # Send
settled_log "$log1" 2
xdotool windowmove "$sign" 680 396
sleep 0.5
geo=$(geometry "$sign")
read -r sx sy _ _ <<<"$geo"
xdotool mousemove 560 690
still "the virtual sign" "400x88+$((sx + 10))+$((sy + 4))"
cut_out 1100x700+0+0 main-window.png
cut_out 1100x330+0+370 send.png
xdotool windowmove "$sign" 1180 0

# Exit with a change that is not saved.
press 600 330
xdotool key End
xdotool type --delay 40 " all"
sleep 0.7
xdotool key ctrl+q
question=$(window '^Zentari$' 700)
sleep 0.5
geo=$(geometry "$question")
read -r qx qy qw qh <<<"$geo"
shoot_area $((qw + 80))x$((qh + 80))+$((qx - 40))+$((qy - 40)) exit-question.png
escape_from "$question" "the Exit question" 20 20
press 600 330
xdotool key End BackSpace BackSpace BackSpace BackSpace

# Settings > Picture Library...
open_menu 107 8 >/dev/null
menu_entry 3
library=$(window '^Picture Library$')
sleep 0.7
shoot_window "$library" picture-library.png
escape_from "$library" "the picture library" 30 30

# Tools > Pixel Editor, with a greeting drawn cell by cell (20 pixels a cell, the grid 30
# pixels down).
open_menu 161 8 >/dev/null
menu_entry 2
editor=$(window '^Pixel Editor$')
sleep 0.5
drawing=(
    "................................................"
    "................................................"
    "....#...#..#..........................####......"
    "....#...#............##.##...........#....#....."
    "....#...#..#........#######.........#.#..#.#...."
    "....#####..#........#######.........#......#...."
    "....#...#..#.........#####..........#.#..#.#...."
    "....#...#..#..........###...........#..##..#...."
    "....#...#..#...........#.............#....#....."
    "......................................####......"
    "................................................"
    "................................................"
)
clicks=()
for ((r = 0; r < ${#drawing[@]}; ++r)); do
    row=${drawing[r]}
    for ((c = 0; c < ${#row}; ++c)); do
        [[ ${row:c:1} == "#" ]] && clicks+=(mousemove --window "$editor" $((20 * c + 10)) $((30 + 20 * r + 10)) click 1)
    done
done
xdotool "${clicks[@]}"
sleep 0.7
shoot_window "$editor" pixel-editor.png
escape_from "$editor" "the pixel editor" 700 10

# Language > Deutsch: the window relabels at once. Switched while the screen panel shows, so
# that the German program editor widens the window when it comes rather than narrowing the tree.
tree_row 0
before=$(look 300x18+0+0)
open_menu 220 8 >/dev/null
menu_entry 1
end=$((SECONDS + 15))
while [[ $(look 300x18+0+0) == "$before" ]]; do
    ((SECONDS < end)) || die "the window did not switch to German"
    sleep 0.2
done
xdotool mousemove 600 690
tree_row 2
xdotool mousemove 600 690
still "the preview" "$preview_area"
geo=$(geometry "$main")
read -r x y width height <<<"$geo"
cut_out "${width}x$height+$x+$y" main-window-de.png
stop_zentari

# --- two signs: Send to All Signs, firmware to all signs ------------------------------------

fresh_user two
start_zentari --virtual-sign 48x12:delay=15,firmware=ready \
    --virtual-sign 36x11:delay=15,firmware=later:2 --report-log "$scratch/sign%n.log" "$project"
first_start
main=$(main_window)
sign1=$(window '^Virtual sign 1')
sign2=$(window '^Virtual sign 2')
xdotool windowmove "$main" 0 0 windowsize "$main" 1100 700
xdotool windowmove "$sign1" 1180 0
xdotool windowmove "$sign2" 1180 330
sleep 0.5

# File > Send to All Signs: Shop to the 48 x 12 sign, Door to the 36 x 11 one. The list's
# columns are 50, 250 and 260 pixels wide from x = 10; the rows 22 pixels apart from y = 39.
open_menu 19 8 >/dev/null
menu_entry 6
batch=$(window '^Send to All Signs$')
sleep 0.5
geo=$(geometry "$batch")
read -r bx by bw bh <<<"$geo"
choose_screen() { # ROW NAME
    xdotool mousemove $((bx + 440)) $((by + 39 + 22 * $1)) click --repeat 2 --delay 80 1
    sleep 0.7
    xdotool type --delay 30 "$2"
    xdotool key Return
    sleep 0.3
}
choose_screen 0 Sh
choose_screen 1 D
press $((bx + bw - 153)) $((by + bh - 23)) # Send
settled_log "$scratch/sign1.log" 17
settled_log "$scratch/sign2.log" 9
xdotool mousemove $((bx + 20)) $((by + bh - 20))
still "the virtual signs" 400x80+1190+4 400x80+1190+334
for w in batch sign1 sign2; do
    geo=$(geometry "${!w}")
    read -r x y width height <<<"$geo"
    convert "$scratch/screen.png" -crop "${width}x$height+$x+$y" +repage "$scratch/$w.png"
done
convert -background '#efefef' "$scratch/batch.png" \
    \( "$scratch/sign1.png" "$scratch/sign2.png" +smush 10 \) -gravity center -smush 10 \
    "$scratch/shot.png"
keep "$scratch/shot.png" batch-send.png
press $((bx + bw - 57)) $((by + bh - 23)) # Close
gone "$batch" "Send to All Signs"

# Tools > Update Firmware on All Signs..., a made-up NT03.bin, taken while it goes over.
head -c 16384 /dev/urandom >"$scratch/NT03.bin"
open_menu 161 8 >/dev/null
menu_entry 4
batch=$(window '^Send to All Signs$')
sleep 0.5
geo=$(geometry "$batch")
read -r bx by bw bh <<<"$geo"
# The firmware column: after 50, 150 and 100 pixels, 160 wide.
xdotool mousemove $((bx + 390)) $((by + 39)) click --repeat 2 --delay 80 1
files=$(window '^Open$')
sleep 0.7
xdotool type --delay 20 "$scratch/NT03.bin"
xdotool key Return
gone "$files" "the file dialog"
sleep 0.3
before=$(lines "$scratch/sign1.log")
press $((bx + bw - 153)) $((by + bh - 23)) # Send
end=$((SECONDS + 30))
while (($(lines "$scratch/sign1.log") < before + 180)); do
    ((SECONDS < end)) || die "the firmware did not go to the virtual sign"
    sleep 0.1
done
xdotool mousemove $((bx + 20)) $((by + bh - 20))
shoot_window "$batch" firmware.png
settled_log "$scratch/sign2.log" 1
stop_zentari

# --- the README's animation: the Shop screen as the preview plays it ------------------------

"$bindir/zentari-cli" play "$project" --screen Shop --seconds 25 --gif "$scratch/shop.gif" \
    >"$scratch/play.log" 2>&1 || {
    cat "$scratch/play.log" >&2
    die "zentari-cli play failed"
}
convert "$scratch/shop.gif" -layers Optimize "$out/shop.gif"
echo "  shop.gif $(identify "$out/shop.gif" | wc -l) frames"

echo "Done in $((SECONDS - started)) s; docs/images holds $(du -ck "$out"/*.png "$out"/*.gif | tail -n1 | cut -f1) KB."
