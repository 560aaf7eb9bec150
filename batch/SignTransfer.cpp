#include "batch/SignTransfer.h"

#include "device/LinkProtocol.h"

#include <algorithm>
#include <vector>

namespace batch {

namespace {

using namespace std::chrono_literals;
using signlink::TRANSFER_OK;
using signlink::TRANSFER_OPEN_FAILED;
using signlink::TRANSFER_PACKET_FAILED;

constexpr auto kWaitTimeout = 500ms;
constexpr int kTimeoutsPerPhase = 4;
// Write trouble is given three tries, a missing or refused reply two.
constexpr int kWriteFailuresPerPacket = 3;
constexpr int kReplyFailuresPerPacket = 2;

class SignTransfer {
public:
    SignTransfer(DeviceTable& table, DeviceTable::Entry& entry, platform::Clock& clock,
                 const std::atomic<bool>& running, std::span<const uint8_t> data, uint8_t kind,
                 const TransferProgress& progress, std::vector<uint8_t>* lastReply = nullptr)
        : m_table(table),
          m_entry(entry),
          m_clock(clock),
          m_running(running),
          m_data(data),
          m_kind(kind),
          m_progress(progress),
          m_lastReply(lastReply) {}

    int run();

private:
    enum class Phase { Done, TimedOut, Failed, End };

    bool going() const { return m_running.load() && !m_entry.cancelled(); }
    Phase writePhase(int& failures);
    Phase readPhase();

    DeviceTable& m_table;
    DeviceTable::Entry& m_entry;
    platform::Clock& m_clock;
    const std::atomic<bool>& m_running;
    std::span<const uint8_t> m_data;
    uint8_t m_kind;
    const TransferProgress& m_progress;
    std::vector<uint8_t>* m_lastReply;

    platform::WaitEvent m_writeEvent;
    platform::WaitEvent m_readEvent;
    std::vector<uint8_t> m_writeReport;
    std::vector<uint8_t> m_readReport;
    size_t m_outLength = signlink::kReportSize;
    size_t m_inLength = signlink::kReportSize;
};

SignTransfer::Phase SignTransfer::writePhase(int& failures) {
    int tries = 0;
    while (going()) {
        if (!m_table.write(m_entry, m_writeReport.data(), m_outLength, &m_writeEvent))
            return Phase::Failed;
        if (!m_table.isPending(m_entry, DeviceTable::Write)) return Phase::Done;
        switch (m_clock.wait(m_writeEvent, kWaitTimeout)) {
            case platform::WaitResult::Signalled:
                return Phase::Done;
            case platform::WaitResult::TimedOut:
                if (++tries == kTimeoutsPerPhase) return Phase::TimedOut;
                break;
            case platform::WaitResult::Failed:
                if (++failures >= kWriteFailuresPerPacket) return Phase::End;
                // Issued afresh rather than collected: the broken wait lost it.
                m_table.cancelPending(m_entry, DeviceTable::Write);
                break;
        }
    }
    return Phase::End;
}

SignTransfer::Phase SignTransfer::readPhase() {
    m_table.cancelPending(m_entry, DeviceTable::Read);
    std::fill(m_readReport.begin(), m_readReport.end(), 0);
    int tries = 0;
    while (going()) {
        if (!m_table.read(m_entry, m_readReport.data(), m_inLength, &m_readEvent))
            return Phase::Done;
        if (!m_table.isPending(m_entry, DeviceTable::Read)) return Phase::Done;
        switch (m_clock.wait(m_readEvent, kWaitTimeout)) {
            case platform::WaitResult::Signalled:
                return Phase::Done;
            case platform::WaitResult::TimedOut:
                if (++tries == kTimeoutsPerPhase) {
                    m_table.cancelPending(m_entry, DeviceTable::Read);
                    return Phase::TimedOut;
                }
                break;
            case platform::WaitResult::Failed:
                return Phase::End;
        }
    }
    return Phase::End;
}

int SignTransfer::run() {
    const size_t length = m_data.size();
    const uint32_t count = signlink::packetCount(length);
    if (!m_table.open(m_entry)) return TRANSFER_OPEN_FAILED;
    if (uint16_t n = m_table.outputReportLength(m_entry)) m_outLength = n;
    if (uint16_t n = m_table.inputReportLength(m_entry)) m_inLength = n;
    m_writeReport.assign(std::max(m_outLength, signlink::kReportSize), 0);
    m_readReport.assign(std::max(m_inLength, signlink::kReportSize), 0);
    if (m_progress) m_progress(0, count);

    const signlink::Packet packetTemplate = signlink::buildPacketTemplate(length, count, m_kind);
    std::vector<int> failures(count, 0);
    uint32_t acknowledged = 0;
    int result = TRANSFER_OK;
    size_t index = 0;
    while (index < count && going()) {
        const size_t begin = signlink::kPayloadSize * index;
        const size_t end = std::min(length, begin + signlink::kPayloadSize);
        signlink::Packet packet = packetTemplate;
        signlink::fillPacket(packet, static_cast<uint32_t>(index + 1),
                             m_data.subspan(begin, end - begin));
        std::fill(m_writeReport.begin(), m_writeReport.end(), 0);
        std::copy(packet.begin(), packet.end(), m_writeReport.begin() + 1);

        const Phase written = writePhase(failures[index]);
        if (written == Phase::End) {
            result = going() ? TRANSFER_PACKET_FAILED : kTransferStopped;
            break;
        }
        // A write that failed outright (the sign went away) is no more sent
        // than one that never completed; going on to the reply would count it.
        if (written == Phase::TimedOut || written == Phase::Failed) {
            m_table.cancelPending(m_entry, DeviceTable::Write);
            if (++failures[index] >= kWriteFailuresPerPacket) {
                result = TRANSFER_PACKET_FAILED;
                break;
            }
            continue;
        }
        m_table.clearPending(m_entry, DeviceTable::Write);

        const Phase replied = readPhase();
        if (replied == Phase::End) {
            result = going() ? TRANSFER_PACKET_FAILED : kTransferStopped;
            break;
        }
        if (replied == Phase::TimedOut || m_readReport[1 + signlink::kReplyStatus] != 0) {
            if (++failures[index] >= kReplyFailuresPerPacket) {
                result = TRANSFER_PACKET_FAILED;
                break;
            }
            continue;
        }
        if (m_lastReply)
            m_lastReply->assign(m_readReport.begin() + 1,
                                m_readReport.begin() + signlink::kReportSize);
        ++acknowledged;
        ++index;
        if (m_progress) m_progress(acknowledged, count);
    }
    if (result == TRANSFER_OK && index < count) result = kTransferStopped;
    if (result == TRANSFER_OK && m_progress) m_progress(count, count);
    // Nothing may write into this transfer's buffers or events once it returns.
    m_table.cancelPending(m_entry);
    return result;
}

}  // namespace

int sendToSign(DeviceTable& table, DeviceTable::Entry& entry, platform::Clock& clock,
               const std::atomic<bool>& running, std::span<const uint8_t> data, uint8_t kind,
               const TransferProgress& progress) {
    return SignTransfer(table, entry, clock, running, data, kind, progress).run();
}

std::optional<SignSize> querySignSize(DeviceTable& table, DeviceTable::Entry& entry,
                                      platform::Clock& clock, const std::atomic<bool>& running) {
    const uint8_t query[] = {0x30};
    std::vector<uint8_t> reply;
    if (SignTransfer(table, entry, clock, running, query, signlink::KIND_GEOMETRY_QUERY, {}, &reply)
                .run() != TRANSFER_OK ||
        reply.size() <= signlink::kReplySecond ||
        reply[signlink::kReplyKind] != signlink::KIND_GEOMETRY_QUERY)
        return std::nullopt;
    const SignSize size{reply[signlink::kReplyFirst], reply[signlink::kReplySecond]};
    if (size.width == 0 || size.height == 0) return std::nullopt;
    return size;
}

bool pause(platform::Clock& clock, platform::Clock::Duration d, const std::atomic<bool>& running,
           const DeviceTable::Entry& entry) {
    const auto slice = std::chrono::duration_cast<platform::Clock::Duration>(50ms);
    while (d > platform::Clock::Duration::zero()) {
        if (!running.load() || entry.cancelled()) return false;
        const auto step = std::min(d, slice);
        clock.sleepFor(step);
        d -= step;
    }
    return running.load() && !entry.cancelled();
}

void firmwareRequest(DeviceTable& table, DeviceTable::Entry& entry, platform::Clock& clock,
                     const std::atomic<bool>& running, const RequestClock& tick) {
    if (!table.open(entry)) return;
    if (tick) tick();
    const uint8_t request[] = {0x00};
    const signlink::Packet packetTemplate =
        signlink::buildPacketTemplate(1, 1, signlink::KIND_FIRMWARE_REQUEST);
    signlink::Packet packet = packetTemplate;
    signlink::fillPacket(packet, 1, request);
    std::vector<uint8_t> writeReport(signlink::kReportSize, 0),
        readReport(signlink::kReportSize, 0);
    std::copy(packet.begin(), packet.end(), writeReport.begin() + 1);
    platform::WaitEvent writeEvent, readEvent;
    const auto going = [&] { return running.load() && !entry.cancelled(); };
    int failures = 0;
    for (int sends = 0; sends < 3 && failures < kWriteFailuresPerPacket && going(); ++sends) {
        // Write, as the per-sign transfer does; the row's seconds go on meanwhile.
        bool written = false;
        for (int tries = 0; going() && tries < kTimeoutsPerPhase;) {
            if (!table.write(entry, writeReport.data(), writeReport.size(), &writeEvent)) break;
            if (!table.isPending(entry, DeviceTable::Write)) {
                written = true;
                break;
            }
            if (tick) tick();
            const auto waited = clock.wait(writeEvent, kWaitTimeout);
            if (waited == platform::WaitResult::Signalled) {
                written = true;
                break;
            }
            if (waited == platform::WaitResult::Failed) break;
            ++tries;
        }
        table.cancelPending(entry, DeviceTable::Write);
        if (!written) {
            ++failures;
            continue;
        }
        table.cancelPending(entry, DeviceTable::Read);
        std::fill(readReport.begin(), readReport.end(), 0);
        bool replied = false;
        for (int tries = 0; going() && tries < kTimeoutsPerPhase;) {
            if (!table.read(entry, readReport.data(), readReport.size(), &readEvent)) break;
            if (!table.isPending(entry, DeviceTable::Read)) {
                replied = true;
                break;
            }
            const auto waited = clock.wait(readEvent, kWaitTimeout);
            if (waited == platform::WaitResult::Signalled) {
                replied = true;
                break;
            }
            if (waited == platform::WaitResult::Failed) break;
            ++tries;
        }
        table.cancelPending(entry, DeviceTable::Read);
        // No reply at all ends the request.
        if (!replied) break;
        const uint8_t* reply = readReport.data() + 1;
        const uint8_t status = reply[signlink::kReplyStatus];
        if (status == 0) break;
        if (reply[signlink::kReplyKind] == signlink::KIND_FIRMWARE_REQUEST && status == 8 &&
            !pause(clock, 1000ms, running, entry))
            break;
        ++failures;
    }
    table.cancelPending(entry);
}

}  // namespace batch
