// Arbitrary bytes as a firmware file: read it as the firmware commands do, hand
// it to the flash tool's chip folder, and send it to a simulated sign on
// virtual time. What is read is the file unchanged, the chip folder gets it as
// sdram.app only under the one name the flash tool writes, and the sign
// reassembles exactly the bytes of the file from its packets.
#include "FuzzFolder.h"
#include "batch/CClustersSend.h"
#include "batch/FlashToolHandOver.h"
#include "device/DeviceTable.h"
#include "device/LinkProtocol.h"
#include "device/sim/SimulatedSign.h"
#include "platform/Clock.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    fuzzfolder::reset();
    const auto& dir = fuzzfolder::folder();
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    static const char* const names[] = {"NT03.bin", "nt03.BIN", "firmware.bin", "NT03.bin.old"};
    const auto file = dir / "in" / names[data[0] % 4];
    fuzzfolder::writeFile(file, bytes);

    const std::vector<uint8_t> firmware = CClustersSend::readFirmware(file);
    if (std::string(firmware.begin(), firmware.end()) != bytes) std::abort();

    const auto program = dir / "program";
    fuzzfolder::writeFile(program / batch::kChipFolderName / batch::kChipScriptName, "#!/bin/sh\n");
    const batch::HandOver handOver = batch::prepareFlashToolFolder(file, program, dir / "data");
    const bool flashTool = batch::isFlashToolFirmware(file.string());
    if (flashTool != (data[0] % 4 < 2)) std::abort();
    if (handOver.outcome != (flashTool ? batch::HandOver::prepared : batch::HandOver::invalidName))
        std::abort();
    if (flashTool && fuzzfolder::readFile(handOver.chipFolder / batch::kFirmwareCopyName) != bytes)
        std::abort();

    // The program never sends an empty firmware.
    if (firmware.empty()) return 0;
    platform::VirtualClock clock;
    SimulatedSign sign(clock);
    const int id = sign.addSign({});
    DeviceTable table(sign);
    signlink::NoLinkObserver observer;
    const int code = signlink::singleSignTransfer(table, clock, observer, firmware,
                                                  signlink::KIND_FIRMWARE_DATA);
    if (code != signlink::TRANSFER_OK) std::abort();
    const auto blocks = sign.blocks(id);
    if (blocks.size() != 1 || blocks[0].kind != signlink::KIND_FIRMWARE_DATA ||
        blocks[0].bytes != firmware)
        std::abort();
    return 0;
}
