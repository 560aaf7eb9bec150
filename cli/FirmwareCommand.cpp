#include "cli/FirmwareCommand.h"

#include "app/SignCommands.h"
#include "batch/CClustersSend.h"
#include "batch/FlashToolHandOver.h"
#include "batch/MessageQueue.h"
#include "batch/SignTransfer.h"
#include "cli/BatchCommand.h"
#include "cli/SignSession.h"
#include "device/LinkProtocol.h"
#include "platform/ScriptStarter.h"
#include "platform/StringUtil.h"
#include "platform/TextCodec.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr int kReRequests = 5;
constexpr auto kReRequestEvery = 4s;
constexpr int kExitFlashTool = 9;
// The window waits as long before the hand-over: the sign restarts into its boot loader.
constexpr auto kFlashToolDelay = 4s;

int report(int code, const platform::TextLookup& english) {
    if (code == 0) return 0;
    std::fprintf(stderr, "zentari-cli: %s\n",
                 platform::utf16ToUtf8(SignCommands::resultText(code, english)).c_str());
    return code;
}

}  // namespace

namespace {

// The chip folder gets the firmware, and its script writes the chip.
int handOverToFlashTool(const std::string& file, const AppFolders& folders,
                        const platform::TextLookup& english) {
    std::fprintf(stderr, "the sign's chip is written with the flash tool (vornload)\n");
    std::this_thread::sleep_for(kFlashToolDelay);
    const batch::HandOver handOver =
        batch::prepareFlashToolFolder(file, folders.programFolder(), folders.dataFolder());
    switch (handOver.outcome) {
        case batch::HandOver::invalidName:
            std::fprintf(stderr, "zentari-cli: %s\n",
                         platform::utf16ToUtf8(english.text(u"InvalidFile")).c_str());
            return 1;
        case batch::HandOver::noFirmware:
            std::fprintf(stderr, "zentari-cli: %s went away\n", file.c_str());
            return 1;
        case batch::HandOver::nothingToCopy:
            std::fprintf(stderr,
                         "zentari-cli: the program folder %s has no chip folder %s; no "
                         "firmware was written\n",
                         folders.programFolder().string().c_str(), batch::kChipFolderName);
            return kExitFlashTool;
        case batch::HandOver::failed:
            std::fprintf(stderr, "zentari-cli: %s\n", handOver.error.c_str());
            return 1;
        case batch::HandOver::prepared:
            break;
    }
    const std::filesystem::path script = handOver.chipFolder / batch::kChipScriptName;
    std::fprintf(stderr, "running %s\n", script.string().c_str());
    std::fflush(stderr);
    std::string error;
    const int status =
        platform::runScript(script, batch::flashToolEnvironment(folders.programFolder()), &error);
    if (status < 0) {
        std::fprintf(stderr, "zentari-cli: %s: %s\n", script.string().c_str(), error.c_str());
        return 1;
    }
    return status;
}

}  // namespace

int runFirmware(const SignOptions& options, const std::string& file, const AppFolders& folders,
                const platform::TextLookup& english) {
    const std::vector<uint8_t> firmware = CClustersSend::readFirmware(file);
    if (firmware.empty()) {
        std::fprintf(stderr, "zentari-cli: cannot read the firmware file %s (at most %ju bytes)\n",
                     file.c_str(), static_cast<uintmax_t>(CClustersSend::kMaxFirmwareBytes));
        return 1;
    }
    SignSession sign;
    if (!openSigns(sign, options)) return 1;
    const bool terminal = isatty(STDERR_FILENO) == 1;
    const uint8_t request[] = {0x00};
    const auto started = std::chrono::steady_clock::now();
    // Asked, then again every 4 s while the sign says "not yet", five times at most.
    for (int asked = 0;; ++asked) {
        sign.clearFirmwareAnswer();
        if (int code = sign.transfer(request, signlink::KIND_FIRMWARE_REQUEST, nullptr))
            return report(code, english);
        if (sign.firmwareReady()) break;
        if (sign.flashToolAsked()) return handOverToFlashTool(file, folders, english);
        if (!sign.firmwareNotReady() || asked == kReRequests) {
            std::fprintf(stderr, "zentari-cli: the sign did not get ready for the firmware\n");
            return signlink::TRANSFER_PACKET_FAILED;
        }
        const auto until = std::chrono::steady_clock::now() + kReRequestEvery;
        while (std::chrono::steady_clock::now() < until) {
            if (terminal) {
                const auto waited = std::chrono::duration_cast<std::chrono::seconds>(
                                        std::chrono::steady_clock::now() - started)
                                        .count();
                std::fprintf(stderr, "\rthe sign is not ready yet: waiting %lld s",
                             static_cast<long long>(waited));
                std::fflush(stderr);
            }
            std::this_thread::sleep_for(200ms);
        }
        if (terminal) std::fputc('\n', stderr);
    }
    const int code = sign.transfer(firmware, signlink::KIND_FIRMWARE_DATA, nullptr);
    for (const auto& line : sign.virtualSignSummary())
        std::fprintf(stderr, "%s\n", line.c_str());
    if (code == 0) std::fprintf(stderr, "firmware of %zu bytes sent\n", firmware.size());
    return report(code, english);
}

int runBatchFirmware(const SignOptions& options, const std::string& file,
                     const std::string& software, int autoSeconds,
                     const platform::TextLookup& english) {
    SignSession sign;
    if (!openSigns(sign, options)) return 1;
    batch::MessageQueue queue;
    CClustersSend dlg(consoleServices(sign, queue, english), CClustersSend::MODE_FIRMWARE, {}, {});
    dlg.onInitDialog();
    const std::u16string firmware = std::filesystem::absolute(file).u16string();
    dlg.setDefaultFirmware(firmware);
    if (!software.empty()) {
        dlg.setDefaultSoftware(std::filesystem::absolute(software).u16string());
        dlg.onCopySoftware(true);
    }
    if (autoSeconds > 0) {
        dlg.onAutoUpdate(true);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(autoSeconds);
        auto tick = std::chrono::steady_clock::now();
        while (std::chrono::steady_clock::now() < end) {
            if (std::chrono::steady_clock::now() >= tick) {
                dlg.onTimer(CClustersSend::TIMER_AUTO_UPDATE);
                tick += std::chrono::milliseconds(CClustersSend::kAutoUpdateMs);
            }
            queue.waitAndRun(100ms);
        }
    } else {
        if (dlg.rows().empty()) {
            std::fprintf(
                stderr, "zentari-cli: %s\n",
                platform::utf16ToUtf8(SignCommands::resultText(signlink::TRANSFER_NO_SIGN, english))
                    .c_str());
            return 1;
        }
        dlg.onCellEdited(0, CClustersSend::COL_TARGET, firmware);
        dlg.onSend();
    }
    while (dlg.runningWorkers() > 0)
        queue.waitAndRun(100ms);
    dlg.joinWorkers();
    queue.runPending();

    const auto results = dlg.results();
    bool everything = !results.empty();
    for (const auto& row : dlg.rows()) {
        const auto key = static_cast<int32_t>(platform::parseDecimal(row[CClustersSend::COL_KEY]));
        const auto found = results.find(key);
        const bool copyFailed = !software.empty() && row[CClustersSend::COL_COPY] != u"OK";
        const int code = found == results.end() ? -2 : found->second.code;
        everything &= code == signlink::TRANSFER_OK && !copyFailed;
        std::printf(
            "%s  %s  %s  %s%s%s\n", platform::utf16ToUtf8(row[CClustersSend::COL_KEY]).c_str(),
            platform::utf16ToUtf8(row[CClustersSend::COL_ID]).c_str(),
            platform::utf16ToUtf8(row[CClustersSend::COL_PROGRESS]).c_str(),
            code == -2                      ? "not updated"
            : code == signlink::TRANSFER_OK ? "OK"
            : code == batch::kTransferStopped
                ? "stopped"
                : platform::utf16ToUtf8(SignCommands::resultText(code, english)).c_str(),
            software.empty() ? "" : "  software: ",
            software.empty() ? "" : platform::utf16ToUtf8(row[CClustersSend::COL_COPY]).c_str());
    }
    for (const auto& line : sign.virtualSignSummary())
        std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stdout);
    return everything ? 0 : signlink::TRANSFER_PACKET_FAILED;
}
