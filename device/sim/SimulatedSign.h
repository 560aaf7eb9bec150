#pragma once

#include "platform/Clock.h"
#include "platform/HidBackend.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
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
        bool dropReply = false;    // takes the packet, never answers
        bool stallWrite = false;   // the write never completes; the packet is not taken
        bool breakWait = false;    // the caller's wait on this write fails
        bool unplugAfter = false;  // the sign is pulled right after this packet
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
    };

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
    void unplug(int sign);
    void plugIn(int sign);
    Config config(int sign) const;
    void setConfig(int sign, Config config);
    std::string pathOf(int sign) const;

    std::vector<Block> blocks(int sign) const;
    std::vector<std::vector<uint8_t>> reports(
        int sign) const;  // every output report taken, as written
    Stats stats(int sign) const;
    void clearHistory(int sign);
    // Every output report any sign takes is appended to the file, one line of
    // lower-case hex each; false when the file cannot be opened for appending.
    bool setReportLog(const std::string& path);
    // Called, outside the sign's lock, whenever a block has arrived whole.
    void setBlockListener(std::function<void(int sign, const Block&)> listener);

    std::vector<platform::HidDeviceInfo> enumerate() override;
    std::unique_ptr<platform::HidHandle> open(const std::string& path,
                                              platform::HidAccess access) override;
    std::optional<platform::HidDiskInfo> findDisk(const std::string& containerId) override;

    // "48x12" (or "48X12") as given to --virtual-sign: 1 … 255 columns, 1 … 127 rows,
    // the sizes a sign's geometry reply can carry.
    static std::optional<std::pair<int, int>> parseSize(std::string_view text);

    struct State;

private:
    std::shared_ptr<State> m_state;
};
