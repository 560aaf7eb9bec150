#pragma once

#include "device/DeviceTable.h"
#include "platform/Clock.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

// Everything sent to a sign travels as one block, cut into 52-byte pieces, each
// in a 64-byte packet behind the report ID of a 65-byte HID report.
namespace signlink {

inline constexpr uint16_t kSignVendorId = 0x0483;
inline constexpr uint16_t kSignProductId = 0x5750;

inline constexpr size_t kPacketSize = 64;
inline constexpr size_t kReportSize = 65;
inline constexpr size_t kPayloadSize = 52;
inline constexpr size_t kPayloadOffset = 9;
inline constexpr size_t kChecksumOffset = 61;
inline constexpr uint8_t kMagic0 = 0x51;
inline constexpr uint8_t kMagic1 = 0x56;
inline constexpr uint8_t kTrailer = 0xAA;

enum BlockKind : uint8_t {
    KIND_DEVICE_IMAGE = 0,
    KIND_TEST_PATTERN = 1,
    KIND_ANIMATION_SET = 2,
    KIND_GEOMETRY_QUERY = 3,
    KIND_COMMAND_BYTE = 4,
    KIND_FIRMWARE_REQUEST = 5,
    KIND_FIRMWARE_DATA = 6,
};

// Offsets of the reply fields in the packet.
inline constexpr size_t kReplyKind = 8;
inline constexpr size_t kReplyStatus = 9;
inline constexpr size_t kReplyFirst = 10;
inline constexpr size_t kReplySecond = 11;

enum TransferResult : int {
    TRANSFER_OK = 0,
    TRANSFER_NO_SIGN = 1,
    TRANSFER_OPEN_FAILED = 2,
    TRANSFER_PACKET_FAILED = 3,
};

using Packet = std::array<uint8_t, kPacketSize>;

inline uint32_t packetCount(size_t length) {
    return static_cast<uint32_t>((length + kPayloadSize - 1) / kPayloadSize);
}

Packet buildPacketTemplate(size_t length, uint32_t count, uint8_t kind);
// Sets the number, the zero-padded payload and the checksum; false for an empty
// or too long payload, leaving the packet as it was.
bool fillPacket(Packet& packet, uint32_t number, std::span<const uint8_t> payload);
// The low 16 bits of the sum of bytes 0 … 60.
uint16_t checksum(const Packet& packet);

// What a transfer tells the main window: its progress bar, and what replies of
// kinds 3 and 5 carry.
class LinkObserver {
public:
    virtual ~LinkObserver() = default;
    virtual void setProgressRange(int low, int high) = 0;
    virtual void setProgressStep(int step) = 0;
    virtual void setProgressPos(int pos) = 0;
    virtual void setSignSize(int width, int height) = 0;
    virtual void setFirmwareReady(bool ready) = 0;
    virtual void startTimer(int id, int milliseconds) = 0;
    virtual void postFirmwareReady() = 0;
    // Called now and then while another transfer holds the sign; a window
    // repaints here so that it does not look frozen.
    virtual void waitingForSign() {}
};

// For callers without a window to tell.
class NoLinkObserver : public LinkObserver {
public:
    void setProgressRange(int, int) override {}
    void setProgressStep(int) override {}
    void setProgressPos(int) override {}
    void setSignSize(int, int) override {}
    void setFirmwareReady(bool) override {}
    void startTimer(int, int) override {}
    void postFirmwareReady() override {}
};

inline constexpr int TIMER_FIRMWARE_PROGRESS = 101;
inline constexpr int TIMER_FIRMWARE_POLL = 102;
inline constexpr int TIMER_FLASH_TOOL = 10001;

// One block to the sign under device key 0, packet by packet. Blocks the
// calling thread; a second transfer waits until the first has finished.
// `reply`, when given, receives the 64 bytes of the last reply.
int singleSignTransfer(DeviceTable& table, platform::Clock& clock, LinkObserver& observer,
                       std::span<const uint8_t> block, uint8_t kind,
                       std::vector<uint8_t>* reply = nullptr);

}  // namespace signlink
