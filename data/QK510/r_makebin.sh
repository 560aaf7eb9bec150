#!/bin/sh
# Writes the firmware that Zentari copied into this folder as sdram.app into the
# flash of the sign's controller chip, with vornload. Zentari starts it in this
# folder when a sign asks to be updated through its boot loader; it can also be
# run by hand: cd into the folder and run ./r_makebin.sh.
#
# The chip must be attached in its boot mode (it shows up as a USB disk). The
# board's boot program, uboot.boot, and for older chips the RAM loader,
# qk500loader.bin, come from the board's maker: put them into this folder
# (see README). Set VORNLOAD to use a vornload that is not on the PATH.

cd "$(dirname "$0")" || exit 1
vornload=${VORNLOAD:-vornload}
if ! command -v "$vornload" >/dev/null 2>&1; then
    echo "r_makebin.sh: vornload was not found; install it or set VORNLOAD to its path" >&2
    exit 127
fi
for file in isd_tools.cfg uboot.boot sdram.app; do
    if [ ! -f "$file" ]; then
        echo "r_makebin.sh: $file is missing in $(pwd) (see README there)" >&2
        exit 2
    fi
done
exec "$vornload" -f uboot.boot sdram.app -tonorflash
