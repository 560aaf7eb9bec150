#include "device/LinkProtocol.h"

#include <algorithm>

namespace signlink {

namespace {

constexpr auto kWaitTimeout = std::chrono::milliseconds(500);
constexpr int kTimeoutsPerPhase = 4;
constexpr int kFailuresPerPacket = 3;

void put16(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value >> 8);
    at[1] = static_cast<uint8_t>(value);
}

}  // namespace

Packet buildPacketTemplate(size_t length, uint32_t count, uint8_t kind) {
    Packet p{};
    p[0] = kMagic0;
    p[1] = kMagic1;
    put16(&p[2], static_cast<uint32_t>(length));
    put16(&p[4], count);
    p[8] = kind;
    p[63] = kTrailer;
    return p;
}

uint16_t checksum(const Packet& packet) {
    uint32_t sum = 0;
    for (size_t k = 0; k < kChecksumOffset; ++k)
        sum += packet[k];
    return static_cast<uint16_t>(sum);
}

bool fillPacket(Packet& packet, uint32_t number, std::span<const uint8_t> payload) {
    if (payload.empty() || payload.size() > kPayloadSize) return false;
    put16(&packet[6], number);
    std::fill(packet.begin() + kPayloadOffset, packet.begin() + kPayloadOffset + kPayloadSize, 0);
    std::copy(payload.begin(), payload.end(), packet.begin() + kPayloadOffset);
    put16(&packet[kChecksumOffset], checksum(packet));
    return true;
}

namespace {

class Transfer {
public:
    Transfer(DeviceTable& table, platform::Clock& clock, LinkObserver& observer,
             std::span<const uint8_t> block, uint8_t kind)
        : m_table(table), m_clock(clock), m_observer(observer), m_block(block), m_kind(kind) {}

    int run();
    // The reply part of the last report read; zeros when nothing was read.
    std::span<const uint8_t> lastReply() const { return {m_readReport.data() + 1, kPacketSize}; }

private:
    enum class WritePhase { Done, TimedOut, Failed, Broken };
    enum class ReadPhase { Done, TimedOut };

    WritePhase writePhase();
    ReadPhase readPhase();
    void examineReply();
    // Counts a failure of the current packet; false when that was its last.
    bool countFailure();

    static constexpr int32_t kKey = 0;
    DeviceTable& m_table;
    DeviceTable::EntryPtr m_entry;
    platform::Clock& m_clock;
    LinkObserver& m_observer;
    std::span<const uint8_t> m_block;
    uint8_t m_kind;

    platform::WaitEvent m_writeEvent;
    platform::WaitEvent m_readEvent;
    // Separate reports for the two directions, so a late reply can never land in
    // a packet that is being written, and "nothing read" stays zeros.
    std::vector<uint8_t> m_writeReport;
    std::vector<uint8_t> m_readReport;
    size_t m_outLength = kReportSize;
    size_t m_inLength = kReportSize;

    size_t m_index = 0;
    int m_acknowledged = 0;
    bool m_sendAgain = false;
    std::vector<int> m_failures;
};

bool Transfer::countFailure() {
    --m_acknowledged;
    return ++m_failures[m_index] < kFailuresPerPacket;
}

Transfer::WritePhase Transfer::writePhase() {
    int tries = 0;
    for (;;) {
        if (!m_table.write(*m_entry, m_writeReport.data(), m_outLength, &m_writeEvent))
            return WritePhase::Failed;
        if (!m_table.isPending(*m_entry, DeviceTable::Write)) return WritePhase::Done;
        switch (m_clock.wait(m_writeEvent, kWaitTimeout)) {
            case platform::WaitResult::Signalled:
                m_observer.setProgressPos(std::max(m_acknowledged, 0));
                ++m_acknowledged;
                return WritePhase::Done;
            case platform::WaitResult::TimedOut:
                if (++tries == kTimeoutsPerPhase) return WritePhase::TimedOut;
                break;
            case platform::WaitResult::Failed:
                if (!countFailure()) return WritePhase::Broken;
                m_sendAgain = true;
                break;
        }
    }
}

Transfer::ReadPhase Transfer::readPhase() {
    // Whatever read is still running, its reply must not land in the cleared buffer.
    m_table.cancelPending(*m_entry, DeviceTable::Read);
    std::fill(m_readReport.begin(), m_readReport.end(), 0);
    int tries = 0;
    for (;;) {
        if (!m_table.read(*m_entry, m_readReport.data(), m_inLength, &m_readEvent))
            return ReadPhase::Done;
        if (!m_table.isPending(*m_entry, DeviceTable::Read)) return ReadPhase::Done;
        switch (m_clock.wait(m_readEvent, kWaitTimeout)) {
            case platform::WaitResult::Signalled:
                return ReadPhase::Done;
            case platform::WaitResult::TimedOut:
                if (++tries == kTimeoutsPerPhase) return ReadPhase::TimedOut;
                break;
            case platform::WaitResult::Failed:
                return ReadPhase::Done;
        }
    }
}

void Transfer::examineReply() {
    const uint8_t* reply = m_readReport.data() + 1;
    uint8_t status = reply[kReplyStatus];
    if (reply[kReplyKind] == KIND_FIRMWARE_REQUEST) {
        if (status == 8) {
            m_observer.setFirmwareReady(false);
            m_observer.setProgressRange(0, 100);
            m_observer.setProgressStep(1);
            if (reply[kReplyFirst] == 1) {
                m_observer.startTimer(TIMER_FLASH_TOOL, 4000);
            } else {
                m_observer.startTimer(TIMER_FIRMWARE_POLL, 100);
                m_observer.startTimer(TIMER_FIRMWARE_PROGRESS, 4000);
            }
        } else if (status == 0) {
            m_observer.setFirmwareReady(true);
            m_observer.postFirmwareReady();
        }
    } else if (reply[kReplyKind] == KIND_GEOMETRY_QUERY && status == 0) {
        m_observer.setSignSize(reply[kReplyFirst], reply[kReplySecond]);
    }
}

int Transfer::run() {
    if (m_table.searchSigns(kSignVendorId, kSignProductId) == 0) return TRANSFER_NO_SIGN;
    // Held for the whole transfer: the entry outlives a removal meanwhile.
    m_entry = m_table.acquire(kKey);
    if (!m_entry || !m_table.open(*m_entry)) return TRANSFER_OPEN_FAILED;

    // Without readable capabilities, use the sign's known report size rather
    // than sending nothing and calling that a success.
    if (uint16_t n = m_table.outputReportLength(*m_entry)) m_outLength = n;
    if (uint16_t n = m_table.inputReportLength(*m_entry)) m_inLength = n;
    m_writeReport.assign(std::max(m_outLength, kReportSize), 0);
    m_readReport.assign(std::max(m_inLength, kReportSize), 0);

    const size_t length = m_block.size();
    const uint32_t count = packetCount(length);
    m_observer.setProgressRange(0, static_cast<int>(count) - 1);
    m_observer.setProgressStep(1);
    const Packet packetTemplate = buildPacketTemplate(length, count, m_kind);
    m_failures.assign(count, 0);

    int result = TRANSFER_OK;
    while (m_index < count) {
        const size_t begin = kPayloadSize * m_index;
        const size_t end = std::min(length, begin + kPayloadSize);
        Packet packet = packetTemplate;
        fillPacket(packet, static_cast<uint32_t>(m_index + 1), m_block.subspan(begin, end - begin));
        std::fill(m_writeReport.begin(), m_writeReport.end(), 0);
        std::copy(packet.begin(), packet.end(), m_writeReport.begin() + 1);
        m_sendAgain = false;

        WritePhase written = writePhase();
        if (written == WritePhase::Broken) {
            result = TRANSFER_PACKET_FAILED;
            break;
        }
        m_table.clearPending(*m_entry, DeviceTable::Read);
        // A write that failed outright (the sign went away) is a failed packet
        // too; going on to the reply would count it as sent.
        if (written == WritePhase::TimedOut || written == WritePhase::Failed) {
            if (!countFailure()) {
                result = TRANSFER_PACKET_FAILED;
                break;
            }
            continue;
        }

        ReadPhase replied = readPhase();
        // Nobody waits for that reply any more: it must not arrive later into
        // the buffer the next packet's reply goes to.
        if (replied == ReadPhase::TimedOut) m_table.cancelPending(*m_entry, DeviceTable::Read);
        examineReply();
        // "Not ready yet" to a firmware request is the sign's answer, not a
        // refusal: asking twice more at once would only turn it into a time-out.
        const uint8_t* reply = m_readReport.data() + 1;
        const bool notReady =
            reply[kReplyKind] == KIND_FIRMWARE_REQUEST && reply[kReplyStatus] == 8;
        if (replied != ReadPhase::TimedOut && reply[kReplyStatus] != 0 && !notReady) {
            if (!countFailure()) {
                result = TRANSFER_PACKET_FAILED;
                break;
            }
            m_sendAgain = true;
        }
        m_table.clearPending(*m_entry, DeviceTable::Write);
        if (!m_sendAgain) ++m_index;
    }
    // The handles stay open for the next transfer, but nothing may still be
    // reading into this transfer's buffers.
    m_table.cancelPending(*m_entry);
    return result;
}

}  // namespace

int singleSignTransfer(DeviceTable& table, platform::Clock& clock, LinkObserver& observer,
                       std::span<const uint8_t> block, uint8_t kind, std::vector<uint8_t>* reply) {
    // Waited for through the clock, keeping the caller's window alive.
    table.singleSignLock().lock(clock, [&observer] {
        observer.waitingForSign();
        return true;
    });
    struct Unlock {
        platform::ClockLock& lock;
        ~Unlock() { lock.unlock(); }
    } unlock{table.singleSignLock()};
    Transfer transfer(table, clock, observer, block, kind);
    int result = transfer.run();
    if (reply && (result == TRANSFER_OK || result == TRANSFER_PACKET_FAILED)) {
        auto last = transfer.lastReply();
        reply->insert(reply->end(), last.begin(), last.end());
    }
    return result;
}

}  // namespace signlink
