#pragma once

#include "platform/Clock.h"
#include "platform/HidBackend.h"

#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Any number of virtual signs behind the HID interface. Each checks every packet
// as a sign would, reassembles the blocks, keeps them, and answers each packet
// after a delay measured on the given clock.
class SimulatedSign final : public platform::HidBackend {
public:
    // What the sign does with one packet.
    struct Answer {
        uint8_t status = 0;
        bool dropReply = false;      // takes the packet, never answers
        bool stallWrite = false;     // the write never completes; the packet is not taken
        bool breakWait = false;      // the caller's wait on this write fails
        bool breakReadWait = false;  // the caller's wait on the reply fails
        bool unplugAfter = false;    // the sign is pulled right after this packet
    };

    // A sign answers a packet it cannot take with a non-zero status.
    static constexpr uint8_t kStatusBadPacket = 0xE1;
    static constexpr uint8_t kStatusOutOfOrder = 0xE2;
    static constexpr uint8_t kStatusBadLength = 0xE3;

    struct PacketInfo {
        uint8_t kind = 0;
        uint32_t number = 0;  // as in the packet
        uint32_t count = 0;
        int receipt = 1;       // 1 + how often this packet arrived just before
        int packetsSoFar = 0;  // packets this sign has taken before this one
    };

    struct Firmware {
        int busyAnswers = 0;        // requests answered with status 8 before the 0
        bool viaFlashTool = false;  // the status 8 answers carry first value 1
    };
    static constexpr int kAlwaysBusy = std::numeric_limits<int>::max();

    struct Config {
        int width = 48;
        int height = 12;
        uint16_t vendorId = 0x0483;
        uint16_t productId = 0x5750;
        platform::Clock::Duration writeDelay = std::chrono::milliseconds(1);
        platform::Clock::Duration replyDelay = std::chrono::milliseconds(1);
        std::map<uint8_t, uint8_t> statusByKind;
        // Decides per packet, after statusByKind; may be empty.
        std::function<Answer(const PacketInfo&)> script;
        Firmware firmware;
        bool openable = true;
        std::optional<platform::HidCapabilities> capabilities = platform::HidCapabilities{65, 65};
        std::optional<platform::HidDiskInfo> disk;
        // Whether the disk counts as the sign's own (a verified mount point of
        // the same USB device); what lies on a disk that is not is never deleted.
        bool ownDisk = true;
        // The USB port address enumerate() reports: unset gives the sign's
        // number (1, 2, …), -1 stands for a system that reports none.
        std::optional<int32_t> portAddress;
        // Pulled right after taking this many packets (once; 0: never).
        int unplugAfterPackets = 0;
    };

    // Bounds of the options of parseVirtualSign.
    static constexpr int kMaxDelayMs = 60000;
    static constexpr int kMaxUnplugPackets = 10000000;
    static constexpr int kMaxBusyAnswers = 10000;

    struct Block {
        uint8_t kind = 0;
        std::vector<uint8_t> bytes;
        uint32_t packets = 0;  // packets taken for it, resends included
        platform::Clock::TimePoint started{};
        platform::Clock::TimePoint finished{};
    };

    struct Stats {
        int packetsTaken = 0;
        int packetsRejected = 0;
        int firmwareRequests = 0;
    };

    explicit SimulatedSign(platform::Clock& clock);
    // Signs of these sizes, otherwise as Config has them.
    SimulatedSign(platform::Clock& clock, const std::vector<std::pair<int, int>>& sizes);
    ~SimulatedSign() override;

    int addSign(Config config);
    int signCount() const;
    // Both tell every watch when the sign's presence changes, and nothing
    // when it was already so.
    void unplug(int sign);
    void plugIn(int sign);
    bool isPresent(int sign) const;
    Config config(int sign) const;
    void setConfig(int sign, Config config);
    std::string pathOf(int sign) const;

    std::vector<Block> blocks(int sign) const;
    std::vector<std::vector<uint8_t>> reports(
        int sign) const;  // every output report taken, as written
    Stats stats(int sign) const;
    void clearHistory(int sign);
    // Every output report a sign takes is appended to the file, one line of
    // lower-case hex each. A path with "%n" gives each of the signs there are
    // now a file of its own, "%n" replaced by its number (1, 2, …); otherwise
    // they share one. False, naming the file in `failed`, when one cannot be
    // opened for appending; then no sign logs.
    bool setReportLog(const std::string& path, std::string* failed = nullptr);
    // The first write to a report log that failed, as a sentence; empty when none did.
    std::string reportLogError() const;
    // Called, outside the sign's lock, whenever a block has arrived whole.
    void setBlockListener(std::function<void(int sign, const Block&)> listener);

    std::vector<platform::HidDeviceInfo> enumerate() override;
    std::unique_ptr<platform::HidHandle> open(const std::string& path,
                                              platform::HidAccess access) override;
    std::optional<platform::HidDiskInfo> findDisk(const std::string& containerId) override;
    bool isOwnDisk(const std::string& devicePath, const platform::HidDiskInfo& disk) override;
    // Listeners run on a thread of this object's, one event at a time, in the
    // order the signs came and went.
    std::unique_ptr<platform::HidWatch> watch(platform::HidHotplugListener listener) override;

    // "48x12" (or "48X12") as given to --virtual-sign: 1 … 255 columns, 1 … 127 rows,
    // the sizes a sign's geometry reply can carry.
    static std::optional<std::pair<int, int>> parseSize(std::string_view text);
    // "WxH[:OPTION,...]" as given to --virtual-sign, options
    //   delay=MS            reply delay per packet, 0 … 60000 ms
    //   port=N | port=none  the USB port address reported, 0 … 255 or none
    //   status=KIND:STATUS  every packet of that kind answered so (0 … 255 each)
    //   unplug=N            pulled right after taking N packets
    //   firmware=ready | firmware=later:N | firmware=flashtool
    //   disk=DIR            an existing folder stands for the sign's removable disk
    // None when it is wrong, with `error` naming what.
    static std::optional<Config> parseVirtualSign(std::string_view text, std::string& error);

    struct State;

private:
    std::shared_ptr<State> m_state;
};
