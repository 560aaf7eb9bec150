#include "LinkTestSupport.h"

#include "device/sim/SimulatedSign.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace signlink;
using namespace std::chrono_literals;

namespace {

TEST(LinkPacket, GeometryQueryOfSendByteForByte) {
    const uint8_t block[] = {0x30};
    Packet p = buildPacketTemplate(1, packetCount(1), KIND_GEOMETRY_QUERY);
    ASSERT_TRUE(fillPacket(p, 1, block));
    Packet expected{};
    const uint8_t head[] = {0x51, 0x56, 0x00, 0x01, 0x00, 0x01, 0x00, 0x01, 0x03, 0x30};
    std::copy(std::begin(head), std::end(head), expected.begin());
    expected[61] = 0x00;  // 0x51 + 0x56 + 1 + 1 + 1 + 3 + 0x30 = 0xDD
    expected[62] = 0xDD;
    expected[63] = 0xAA;
    EXPECT_EQ(p, expected);

    // On the wire: the report ID 0, then these 64 bytes.
    platform::VirtualClock clock;
    SimulatedSign sim(clock);
    sim.addSign({});
    DeviceTable table(sim);
    RecordingObserver observer;
    ASSERT_EQ(singleSignTransfer(table, clock, observer, block, KIND_GEOMETRY_QUERY), TRANSFER_OK);
    auto reports = sim.reports(0);
    ASSERT_EQ(reports.size(), 1u);
    ASSERT_EQ(reports[0].size(), 65u);
    EXPECT_EQ(reports[0][0], 0x00);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), reports[0].begin() + 1));
}

TEST(LinkPacket, LengthsCountsAndPayloads) {
    EXPECT_EQ(packetCount(0), 0u);
    EXPECT_EQ(packetCount(52), 1u);
    EXPECT_EQ(packetCount(53), 2u);

    Packet big = buildPacketTemplate(70000, packetCount(70000), KIND_FIRMWARE_DATA);
    EXPECT_EQ(big[2], 0x11);  // 70000 mod 65536 = 0x1170
    EXPECT_EQ(big[3], 0x70);
    EXPECT_EQ(big[4], 0x05);  // 1347 packets
    EXPECT_EQ(big[5], 0x43);
    EXPECT_EQ(big[8], 6);

    // The second packet of a 53-byte block: one payload byte, 51 zeros.
    auto block = blockOf(53);
    Packet second = buildPacketTemplate(53, 2, KIND_DEVICE_IMAGE);
    ASSERT_TRUE(fillPacket(second, 2, std::span(block).subspan(52)));
    EXPECT_EQ(second[6], 0);
    EXPECT_EQ(second[7], 2);
    EXPECT_EQ(second[9], block[52]);
    for (size_t k = 10; k < 61; ++k)
        EXPECT_EQ(second[k], 0) << k;

    // Refilling a packet clears what a longer payload left behind.
    Packet reused = buildPacketTemplate(53, 2, KIND_DEVICE_IMAGE);
    ASSERT_TRUE(fillPacket(reused, 1, std::span(block).first(52)));
    ASSERT_TRUE(fillPacket(reused, 2, std::span(block).subspan(52)));
    EXPECT_EQ(reused, second);

    std::vector<uint8_t> tooLong(53, 1);
    Packet untouched = buildPacketTemplate(1, 1, 1);
    Packet p = untouched;
    EXPECT_FALSE(fillPacket(p, 1, tooLong));
    EXPECT_FALSE(fillPacket(p, 1, {}));
    EXPECT_EQ(p, untouched);
}

TEST(LinkPacket, ChecksumIsTheLowSixteenBitsBigEndian) {
    // Every byte 0xFF up to offset 60: 61 × 255 = 15555 = 0x3CC3.
    Packet p{};
    std::fill(p.begin(), p.begin() + 61, 0xFF);
    EXPECT_EQ(checksum(p), 0x3CC3);
    Packet q = buildPacketTemplate(0xFFFF, 0xFFFF, 0xFF);
    std::vector<uint8_t> payload(52, 0xFF);
    ASSERT_TRUE(fillPacket(q, 0xFFFF, payload));
    // 0x51 + 0x56 + 7 × 0xFF + 52 × 0xFF = 167 + 15045 = 15212 = 0x3B6C
    EXPECT_EQ(q[61], 0x3B);
    EXPECT_EQ(q[62], 0x6C);
}

class Transfer : public ::testing::Test {
protected:
    int send(size_t length, uint8_t kind = KIND_DEVICE_IMAGE,
             std::vector<uint8_t>* reply = nullptr) {
        auto block = blockOf(length);
        return singleSignTransfer(table, clock, observer, block, kind, reply);
    }
    int sendBytes(std::vector<uint8_t> block, uint8_t kind, std::vector<uint8_t>* reply = nullptr) {
        return singleSignTransfer(table, clock, observer, block, kind, reply);
    }
    int packetsOf(int sign, uint32_t number) {
        int n = 0;
        for (const auto& r : sim.reports(sign))
            if (r.size() >= 9 && (r[7] << 8 | r[8]) == static_cast<int>(number)) ++n;
        return n;
    }
    platform::VirtualClock clock;
    SimulatedSign sim{clock};
    DeviceTable table{sim};
    RecordingObserver observer;
};

TEST_F(Transfer, ABlockArrivesWholeWithProgress) {
    sim.addSign({});
    auto block = blockOf(130);
    ASSERT_EQ(singleSignTransfer(table, clock, observer, block, KIND_DEVICE_IMAGE), TRANSFER_OK);
    auto blocks = sim.blocks(0);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].kind, KIND_DEVICE_IMAGE);
    EXPECT_EQ(blocks[0].bytes, block);
    EXPECT_EQ(sim.stats(0).packetsRejected, 0);
    EXPECT_EQ(observer.calls, (std::vector<std::string>{"range 0 2", "step 1"}));
    EXPECT_EQ(observer.positions, (std::vector<int>{0, 1, 2}));
    // Each packet: the write after 1 ms, the reply 1 ms later.
    EXPECT_EQ(clock.elapsed(), 6ms);
}

TEST_F(Transfer, ASignAnsweringErrorsEndsAfterTheFirstPacketWentThreeTimes) {
    SimulatedSign::Config c;
    c.statusByKind[KIND_DEVICE_IMAGE] = 2;
    sim.addSign(c);
    std::vector<uint8_t> reply;
    EXPECT_EQ(send(200, KIND_DEVICE_IMAGE, &reply), TRANSFER_PACKET_FAILED);
    EXPECT_EQ(sim.reports(0).size(), 3u);
    EXPECT_EQ(packetsOf(0, 1), 3);
    ASSERT_EQ(reply.size(), 64u);
    EXPECT_EQ(reply[8], KIND_DEVICE_IMAGE);
    EXPECT_EQ(reply[9], 2);
}

TEST_F(Transfer, ASignThatStopsAnsweringCostsTwoSecondsAPacketAndStillSucceeds) {
    SimulatedSign::Config c;
    c.script = [](const SimulatedSign::PacketInfo& p) {
        SimulatedSign::Answer a;
        a.dropReply = p.number >= 2;
        return a;
    };
    sim.addSign(c);
    std::vector<uint8_t> reply;
    EXPECT_EQ(send(52 * 4, KIND_DEVICE_IMAGE, &reply), TRANSFER_OK);
    // Packet 1: 1 ms write + 1 ms reply; packets 2 to 4: 1 ms write + 4 × 500 ms.
    EXPECT_EQ(clock.elapsed(), 2ms + 3 * 2001ms);
    EXPECT_EQ(sim.blocks(0).size(), 1u);
    EXPECT_EQ(reply, std::vector<uint8_t>(64, 0));  // nothing was read for the last packet
}

TEST_F(Transfer, WritesThatNeverCompleteEndTheTransfer) {
    SimulatedSign::Config c;
    c.script = [](const SimulatedSign::PacketInfo&) {
        SimulatedSign::Answer a;
        a.stallWrite = true;
        return a;
    };
    sim.addSign(c);
    std::vector<uint8_t> reply;
    EXPECT_EQ(send(100, KIND_DEVICE_IMAGE, &reply), TRANSFER_PACKET_FAILED);
    // Three times four waits of 500 ms, all on the one write that never ends.
    EXPECT_EQ(clock.elapsed(), 6000ms);
    EXPECT_EQ(sim.stats(0).packetsTaken, 0);
    EXPECT_EQ(reply, std::vector<uint8_t>(64, 0));
}

TEST_F(Transfer, FailuresOfOnePacketAddUpWhateverTheirCause) {
    // Packet 2: the wait on its first write fails, then the sign refuses it twice.
    auto script = [](int refusals) {
        return [refusals](const SimulatedSign::PacketInfo& p) {
            SimulatedSign::Answer a;
            if (p.number == 2 && p.receipt == 1) a.breakWait = true;
            if (p.number == 2 && p.receipt >= 2 && p.receipt <= 1 + refusals) a.status = 2;
            return a;
        };
    };
    SimulatedSign::Config c;
    c.script = script(2);
    int sign = sim.addSign(c);
    EXPECT_EQ(send(52 * 3), TRANSFER_PACKET_FAILED);
    EXPECT_EQ(packetsOf(sign, 3), 0);

    // With one refusal the third try goes through.
    c.script = script(1);
    sim.setConfig(sign, c);
    sim.clearHistory(sign);
    EXPECT_EQ(send(52 * 3), TRANSFER_OK);
    ASSERT_EQ(sim.blocks(sign).size(), 1u);
    EXPECT_EQ(sim.blocks(sign)[0].bytes, blockOf(52 * 3));
}

TEST_F(Transfer, AWriteTimeoutCountsTowardsThePacketsFailures) {
    SimulatedSign::Config c;
    int calls = 0;
    c.script = [&calls](const SimulatedSign::PacketInfo&) {
        SimulatedSign::Answer a;
        a.status = 2;
        ++calls;
        return a;
    };
    c.writeDelay = 2100ms;  // longer than four waits of 500 ms
    sim.addSign(c);
    EXPECT_EQ(send(10), TRANSFER_PACKET_FAILED);
    // 2000 ms of waits (failure 1); the same write, collected again, completes
    // at 2100 ms and its reply at 2101 ms refuses it (failure 2); the resend's
    // write times out after four more waits, at 4101 ms (failure 3).
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(clock.elapsed(), 4101ms);
}

TEST_F(Transfer, NoSignAndAnUnopenableSign) {
    std::vector<uint8_t> reply{7};
    EXPECT_EQ(send(10, KIND_DEVICE_IMAGE, &reply), TRANSFER_NO_SIGN);
    SimulatedSign::Config c;
    c.openable = false;
    sim.addSign(c);
    EXPECT_EQ(send(10, KIND_DEVICE_IMAGE, &reply), TRANSFER_OPEN_FAILED);
    EXPECT_EQ(reply, std::vector<uint8_t>{7});
    EXPECT_TRUE(observer.calls.empty());
}

TEST_F(Transfer, UnpluggingBetweenAndDuringTransfers) {
    int sign = sim.addSign({});
    EXPECT_EQ(send(10), TRANSFER_OK);
    sim.unplug(sign);
    EXPECT_EQ(send(10), TRANSFER_NO_SIGN);
    sim.plugIn(sign);
    EXPECT_EQ(send(10), TRANSFER_OK);

    // Pulled after packet 2 of 4: what follows fails instead of passing as sent.
    SimulatedSign::Config c;
    c.script = [](const SimulatedSign::PacketInfo& p) {
        SimulatedSign::Answer a;
        a.unplugAfter = p.number == 2;
        return a;
    };
    sim.setConfig(sign, c);
    EXPECT_EQ(send(52 * 4), TRANSFER_PACKET_FAILED);
    EXPECT_EQ(send(10), TRANSFER_NO_SIGN);
}

TEST_F(Transfer, GeometryRepliesReachTheMainWindowAndTheReplyBuffer) {
    SimulatedSign::Config c;
    c.width = 80;
    c.height = 16;
    sim.addSign(c);
    std::vector<uint8_t> reply{0xEE};
    EXPECT_EQ(sendBytes({0x30}, KIND_GEOMETRY_QUERY, &reply), TRANSFER_OK);
    ASSERT_EQ(reply.size(), 65u);  // appended behind what was there
    EXPECT_EQ(reply[0], 0xEE);
    EXPECT_EQ(reply[1 + 8], KIND_GEOMETRY_QUERY);
    EXPECT_EQ(reply[1 + 9], 0);
    EXPECT_EQ(reply[1 + 10], 80);
    EXPECT_EQ(reply[1 + 11], 16);
    EXPECT_EQ(observer.calls.back(), "size 80x16");

    // The window's query: both values as 16-bit big-endian numbers at 9–10 and 11–12.
    c.width = 300;
    c.height = 20;
    sim.setConfig(0, c);
    reply.clear();
    EXPECT_EQ(sendBytes({0x00}, KIND_GEOMETRY_QUERY, &reply), TRANSFER_PACKET_FAILED);
    // A width above 255 puts 1 into the status byte, which the transfer reads as a refusal.
    EXPECT_EQ(reply[9], 1);
    EXPECT_EQ(reply[10], 44);
    c.width = 200;
    sim.setConfig(0, c);
    reply.clear();
    EXPECT_EQ(sendBytes({0x00}, KIND_GEOMETRY_QUERY, &reply), TRANSFER_OK);
    EXPECT_EQ(std::vector<uint8_t>(reply.begin() + 9, reply.begin() + 13),
              (std::vector<uint8_t>{0, 200, 0, 20}));
}

TEST_F(Transfer, FirmwareRequestReplies) {
    SimulatedSign::Config c;
    c.firmware.busyAnswers = 1;
    int sign = sim.addSign(c);
    // "Not ready yet" is an answer: the window's timers ask again later, the
    // transfer does not resend it at once.
    EXPECT_EQ(sendBytes({0x00}, KIND_FIRMWARE_REQUEST), TRANSFER_OK);
    EXPECT_EQ(observer.calls,
              (std::vector<std::string>{"range 0 0", "step 1", "not ready", "range 0 100", "step 1",
                                        "timer 102 100", "timer 101 4000"}));
    EXPECT_EQ(sim.stats(sign).firmwareRequests, 1);
    observer.calls.clear();
    EXPECT_EQ(sendBytes({0x00}, KIND_FIRMWARE_REQUEST), TRANSFER_OK);
    EXPECT_EQ(observer.calls,
              (std::vector<std::string>{"range 0 0", "step 1", "ready", "post 0x0809"}));

    c.firmware.viaFlashTool = true;
    c.firmware.busyAnswers = 5;
    sim.setConfig(sign, c);
    observer.calls.clear();
    EXPECT_EQ(sendBytes({0x00}, KIND_FIRMWARE_REQUEST), TRANSFER_OK);
    EXPECT_EQ(std::count(observer.calls.begin(), observer.calls.end(), "timer 10001 4000"), 1);
    // Any other refusal of a request is still a failure.
    c.firmware = {};
    c.statusByKind[KIND_FIRMWARE_REQUEST] = 2;
    sim.setConfig(sign, c);
    EXPECT_EQ(sendBytes({0x00}, KIND_FIRMWARE_REQUEST), TRANSFER_PACKET_FAILED);
}

TEST_F(Transfer, MissingCapabilitiesStillSendWholeReports) {
    SimulatedSign::Config c;
    c.capabilities.reset();
    sim.addSign(c);
    EXPECT_EQ(send(60), TRANSFER_OK);
    for (const auto& r : sim.reports(0))
        EXPECT_EQ(r.size(), 65u);
    EXPECT_EQ(sim.blocks(0).size(), 1u);
}

TEST_F(Transfer, AnEmptyBlockSendsNothing) {
    sim.addSign({});
    EXPECT_EQ(send(0), TRANSFER_OK);
    EXPECT_TRUE(sim.reports(0).empty());
}

TEST(LinkConcurrency, ASecondTransferBeginsWhenTheFirstHasEnded) {
    platform::VirtualClock clock;
    SimulatedSign sim(clock);
    SimulatedSign::Config c;
    c.writeDelay = 2ms;
    c.replyDelay = 2ms;
    // Each packet as the sign took it: kind, number, virtual time in ms. The
    // script runs under the sign's lock.
    using Arrival = std::tuple<int, int, long long>;
    std::vector<Arrival> arrivals;
    c.script = [&](const SimulatedSign::PacketInfo& p) {
        auto at = std::chrono::duration_cast<std::chrono::milliseconds>(clock.elapsed()).count();
        arrivals.emplace_back(p.kind, p.number, at);
        return SimulatedSign::Answer{};
    };
    sim.addSign(c);
    DeviceTable table(sim);
    RecordingObserver first, second;
    const auto a = blockOf(52 * 3);
    const std::vector<uint8_t> b(52 * 3, 0x42);
    int ra = -1, rb = -1;
    auto sendFirst = [&] { ra = singleSignTransfer(table, clock, first, a, KIND_DEVICE_IMAGE); };
    auto sendSecond = [&] {
        // Halfway through the first packet's write; the second transfer waits
        // for the sign through the clock.
        clock.sleepFor(1ms);
        rb = singleSignTransfer(table, clock, second, b, KIND_ANIMATION_SET);
    };
    clock.startThreads(sendFirst, sendSecond);
    EXPECT_EQ(ra, TRANSFER_OK);
    EXPECT_EQ(rb, TRANSFER_OK);
    // 2 ms to each write and 2 more to its reply: the second block's first
    // packet goes out the moment the first block's last reply is in.
    EXPECT_EQ(arrivals, (std::vector<Arrival>{{KIND_DEVICE_IMAGE, 1, 0},
                                              {KIND_DEVICE_IMAGE, 2, 4},
                                              {KIND_DEVICE_IMAGE, 3, 8},
                                              {KIND_ANIMATION_SET, 1, 12},
                                              {KIND_ANIMATION_SET, 2, 16},
                                              {KIND_ANIMATION_SET, 3, 20}}));
    EXPECT_EQ(clock.elapsed(), 24ms);
    auto blocks = sim.blocks(0);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].bytes, a);
    EXPECT_EQ(blocks[1].bytes, b);
    EXPECT_EQ(first.positions, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(second.positions, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(first.waits, 0);
    EXPECT_GT(second.waits, 0);  // its window kept painting
}

// A sign whose reply to the first packet comes after the transfer gave up on
// it. The handle delivers such a reply into the buffer of the read that is
// still pending (as a reader thread would) the moment anything else happens on
// the sign, unless the read was cancelled first.
class LateReplyBackend final : public platform::HidBackend {
public:
    struct Shared {
        uint8_t* pendingRead = nullptr;
        platform::WaitEvent* readEvent = nullptr;
        int writes = 0;
        bool lateDelivered = false;
    };

    std::vector<platform::HidDeviceInfo> enumerate() override {
        return {{kSignVendorId, kSignProductId, "late", "", 1}};
    }
    std::unique_ptr<platform::HidHandle> open(const std::string&,
                                              platform::HidAccess access) override {
        return std::make_unique<Handle>(m_shared, access);
    }
    std::optional<platform::HidDiskInfo> findDisk(const std::string&) override { return {}; }
    const Shared& shared() const { return *m_shared; }

private:
    class Handle final : public platform::HidHandle {
    public:
        Handle(std::shared_ptr<Shared> shared, platform::HidAccess access)
            : m_shared(std::move(shared)), m_access(access) {}
        std::optional<platform::HidCapabilities> capabilities() override {
            return platform::HidCapabilities{65, 65};
        }
        void setInputBuffers(int) override {}
        platform::HidIo start(uint8_t* buffer, size_t, platform::WaitEvent* event) override {
            if (m_access == platform::HidAccess::Write) {
                deliverLateReply();
                ++m_shared->writes;
                event->set();
                return platform::HidIo::Pending;
            }
            deliverLateReply();
            if (m_shared->writes == 1) {
                // The first packet's reply: never in time.
                m_shared->pendingRead = buffer;
                m_shared->readEvent = event;
                return platform::HidIo::Pending;
            }
            std::fill(buffer, buffer + 65, 0);
            buffer[1 + kReplyKind] = KIND_DEVICE_IMAGE;
            return platform::HidIo::Completed;
        }
        platform::HidIo result() override { return platform::HidIo::Pending; }
        void cancel() override {
            if (m_access == platform::HidAccess::Read) m_shared->pendingRead = nullptr;
        }

    private:
        void deliverLateReply() {
            if (!m_shared->pendingRead) return;
            // A refusal of the first packet, long after its four waits.
            std::fill(m_shared->pendingRead, m_shared->pendingRead + 65, 0);
            m_shared->pendingRead[1 + kReplyKind] = KIND_DEVICE_IMAGE;
            m_shared->pendingRead[1 + kReplyStatus] = 2;
            m_shared->readEvent->set();
            m_shared->pendingRead = nullptr;
            m_shared->lateDelivered = true;
        }
        std::shared_ptr<Shared> m_shared;
        platform::HidAccess m_access;
    };
    std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
};

TEST(LinkLateReply, AReplyAfterFourTimeoutsNeverReachesTheNextPacket) {
    platform::VirtualClock clock;
    LateReplyBackend backend;
    DeviceTable table(backend);
    RecordingObserver observer;
    const auto block = blockOf(52 * 2);
    EXPECT_EQ(singleSignTransfer(table, clock, observer, block, KIND_DEVICE_IMAGE), TRANSFER_OK);
    // Four read waits on the first packet, nothing for the second.
    EXPECT_EQ(clock.elapsed(), 2000ms);
    EXPECT_EQ(backend.shared().writes, 2);  // the late refusal did not make it resend
    EXPECT_FALSE(backend.shared().lateDelivered);
}

}  // namespace
