#include "batch/SignTransfer.h"
#include "device/LinkProtocol.h"
#include "device/sim/SimulatedSign.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

using namespace std::chrono_literals;

namespace {

// Workers transfer to their signs while another thread searches, pulls and
// plugs signs back in, and takes entries out of the table. Nothing may touch
// a freed entry or race on one (the tsan build checks), and every transfer
// ends with a result.
TEST(SignTableThreads, SearchRemovalAndTransfersSideBySide) {
    platform::VirtualClock clock;
    SimulatedSign sim(clock);
    for (int k = 0; k < 3; ++k)
        sim.addSign({});
    DeviceTable table(sim);
    ASSERT_EQ(table.searchSigns(signlink::kSignVendorId, signlink::kSignProductId), 4);
    std::atomic<bool> running{true};
    const std::vector<uint8_t> block(52 * 20, 0x5A);
    std::vector<int> results(3, -100);

    auto worker = [&](int k) {
        return [&, k] {
            for (int round = 0; round < 4; ++round) {
                DeviceTable::EntryPtr entry =
                    table.acquire(table.findEntryByPath(sim.pathOf(k), true).value_or(-1));
                if (!entry) {
                    clock.sleepFor(3ms);
                    continue;
                }
                results[k] = batch::sendToSign(table, *entry, clock, running, block,
                                               signlink::KIND_DEVICE_IMAGE, {});
                table.close(*entry);
            }
        };
    };
    auto churn = [&] {
        for (int round = 0; round < 6; ++round) {
            clock.sleepFor(7ms);
            sim.unplug(round % 3);
            table.removePath(sim.pathOf(round % 3));
            clock.sleepFor(5ms);
            sim.plugIn(round % 3);
            table.addArrived(sim.pathOf(round % 3));
            if (round % 2) table.searchSigns(signlink::kSignVendorId, signlink::kSignProductId);
        }
    };
    clock.startThreads(worker(0), worker(1), worker(2), churn);
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        EXPECT_TRUE(results[k] == signlink::TRANSFER_OK ||
                    results[k] == signlink::TRANSFER_OPEN_FAILED ||
                    results[k] == signlink::TRANSFER_PACKET_FAILED ||
                    results[k] == batch::kTransferStopped);
    }
    // Whatever happened on the way, the table ends up with every sign.
    table.searchSigns(signlink::kSignVendorId, signlink::kSignProductId);
    EXPECT_EQ(table.size(), 4);
}

// An entry taken out of the table while a worker holds it stays whole: the
// worker's transfer stops at its next wait, and nothing is freed under it.
TEST(SignTableThreads, ARemovedEntryOutlivesItsWorker) {
    platform::VirtualClock clock;
    SimulatedSign sim(clock);
    SimulatedSign::Config slow;
    slow.replyDelay = 20ms;
    sim.addSign(slow);
    DeviceTable table(sim);
    table.searchSigns(signlink::kSignVendorId, signlink::kSignProductId);
    std::atomic<bool> running{true};
    const std::vector<uint8_t> block(52 * 10, 1);
    DeviceTable::EntryPtr held = table.acquire(1);
    std::weak_ptr<DeviceTable::Entry> watch = held;
    int result = -100;
    uint32_t lastDone = 0;
    auto worker = [&, entry = std::move(held)]() mutable {
        result =
            batch::sendToSign(table, *entry, clock, running, block, signlink::KIND_DEVICE_IMAGE,
                              [&](uint32_t done, uint32_t) { lastDone = done; });
        entry.reset();
    };
    auto remover = [&] {
        clock.sleepFor(50ms);
        EXPECT_EQ(table.removePath(sim.pathOf(0)), (std::vector<int32_t>{1}));
    };
    clock.startThreads(std::move(worker), remover);
    EXPECT_EQ(result, batch::kTransferStopped);
    EXPECT_GT(lastDone, 0u);
    EXPECT_LT(lastDone, 10u);
    EXPECT_TRUE(watch.expired());
    EXPECT_FALSE(table.contains(1));
}

}  // namespace
