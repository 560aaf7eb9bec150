// Sending the largest device image to a simulated sign that answers at once:
// what is left is the time the program itself spends per packet.
#include "device/DeviceTable.h"
#include "device/LinkProtocol.h"
#include "device/sim/SimulatedSign.h"
#include "platform/Clock.h"

#include "TimesReporter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

namespace {

constexpr size_t kBlock = 30720;
double g_secondsPerTransfer = 0;

void BM_SendLargestImage(benchmark::State& state) {
    platform::SteadyClock clock;
    SimulatedSign sim(clock);
    SimulatedSign::Config answersAtOnce;
    answersAtOnce.writeDelay = {};
    answersAtOnce.replyDelay = {};
    sim.addSign(answersAtOnce);
    DeviceTable table(sim);
    signlink::NoLinkObserver window;
    std::vector<uint8_t> block(kBlock);
    for (size_t k = 0; k < block.size(); ++k)
        block[k] = static_cast<uint8_t>(k * 31);
    for (auto _ : state) {
        int result =
            signlink::singleSignTransfer(table, clock, window, block, signlink::KIND_DEVICE_IMAGE);
        if (result != signlink::TRANSFER_OK) state.SkipWithError("the transfer failed");
        state.PauseTiming();
        sim.clearHistory(0);
        state.ResumeTiming();
    }
    const double packets = signlink::packetCount(kBlock);
    state.counters["packets/s"] =
        benchmark::Counter(packets, benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_SendLargestImage)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    TimesReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    g_secondsPerTransfer = reporter.seconds["BM_SendLargestImage"];
    const double packets = signlink::packetCount(kBlock);
    if (g_secondsPerTransfer > 0) {
        const double perPacket = g_secondsPerTransfer / packets;
        // A sign needs about 1 ms per report each way.
        std::printf(
            "%zu bytes in %.0f packets: %.0f packets/s, %.1f us per packet of our own "
            "(simulated sign included) beside a sign's 2000 us; goal: at most 50 us\n",
            kBlock, packets, 1 / perPacket, perPacket * 1e6);
    }
    benchmark::Shutdown();
    return 0;
}
