#pragma once

namespace vornload {

#ifndef VORNLOAD_VERSION
#define VORNLOAD_VERSION "unknown"
#endif
inline constexpr const char* versionText = VORNLOAD_VERSION;

inline constexpr const char* usageText =
    R"(Usage: vornload [OPTION | FILE]...
       vornload            (an interactive console for the chip's boot loader)

Builds the flash image of the sign's controller chip from a boot program and
application files and writes it into the chip, attached by USB as a disk. When no
chip is attached it writes the image to cv_isd.bin in the current folder instead.
isd_tools.cfg, the board's description, is read from the current folder first.

  -f FILE...               image input files: the boot program (uboot.boot) first,
                           then the application files
  -toflashfile FILE        write an SPI NOR flash image to FILE (no '-' in the name)
  -tosdfile FILE           write an SD card image to FILE
  -tonorflash, -tonandflash, -tosd, -todisk
                           the storage the chip writes to
  -erase                   erase every block before writing it
  -aline N                 alignment of the files in the image (default 512)
  -runaddr 0xN             run address written into the image header
  -resource FOLDER [0xN]   build a .res package of every subfolder of FOLDER
  -read FILE A-L           read L bytes (K, M or G suffix) from address A into FILE
  -tosdram FILE ADDR...    download files into the chip's RAM
  -wflash FILE 0xADDR [1]  write one more file to storage (1: the data flash)
  -boot N                  load address of the RAM loader (qk500loader.bin)
  -dev NAME[;NAME...]      the device names to look for (default tz43)
  -divN                    clock divider passed to the loader (at most 255)
  -wait MS                 wait time around a mode switch (default 1000)
  -go N                    run the code at RAM address N at the end
  -wN                      alert on failure: 0 a notice on standard error,
                           1 a bell (default), other values silent
  -h, --help               this text
  --version                the version

Numbers are decimal, or hexadecimal with 0x. The exit status is 0 on success,
else the code of the failure (1 argument, 2 no such file, 3 copy, 4 device
offline, 5 disk mismatch, 6 open, 7 create, 8 write, 9 read, 10 verify,
11 file name too long, 12 empty file) or the system's error number.
Intermediate files go to $TMPDIR, else $XDG_RUNTIME_DIR, else /tmp/vornload-UID.

The chip is looked for among the removable USB disks and reached through its SCSI
generic node (/dev/sgN; see the udev rule 61-vornload.rules when access is refused).
VORNLOAD_SIM=KIND[,id=HEX][,ident=TEXT][,state=FILE] puts a simulated chip there
instead (KIND nor, nand or sd; state keeps its storage in FILE between runs).
)";

}  // namespace vornload
