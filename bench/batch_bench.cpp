// The same image to 1, 4 and 8 simulated signs that each answer a packet after
// 2 ms: with one worker per sign, eight signs should take hardly longer than one.
#include "batch/CClustersSend.h"
#include "batch/MessageQueue.h"
#include "device/sim/SimulatedSign.h"
#include "platform/Clock.h"

#include "TimesReporter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr size_t kImage = 8192;
std::map<int, double> g_seconds;  // by sign count

struct NoTexts : platform::TextLookup {
    std::u16string text(std::u16string_view key) const override { return std::u16string(key); }
    std::vector<platform::TextListEntry> list(std::u16string_view) const override { return {}; }
};

void BM_BatchSend(benchmark::State& state) {
    const int signs = static_cast<int>(state.range(0));
    platform::SteadyClock clock;
    SimulatedSign sim(clock);
    SimulatedSign::Config config;
    config.writeDelay = {};
    config.replyDelay = std::chrono::milliseconds(2);
    for (int k = 0; k < signs; ++k)
        sim.addSign(config);
    DeviceTable table(sim);
    NoTexts texts;
    batch::MessageQueue queue;
    std::vector<uint8_t> image(kImage);
    for (size_t k = 0; k < image.size(); ++k)
        image[k] = static_cast<uint8_t>(k * 29);
    CClustersSend dlg(
        {table, clock, texts, [&](std::function<void()> m) { queue.post(std::move(m)); }},
        CClustersSend::MODE_SCREEN, {u"Front"}, [&](const std::u16string&) { return image; });
    dlg.onInitDialog();
    dlg.onCellEdited(0, CClustersSend::COL_TARGET, u"Front");
    for (auto _ : state) {
        dlg.onSend();
        while (dlg.runningWorkers() > 0)
            queue.waitAndRun(std::chrono::milliseconds(5));
        dlg.joinWorkers();
        state.PauseTiming();
        queue.runPending();
        for (const auto& [key, result] : dlg.results())
            if (result.code != 0) state.SkipWithError("a sign did not get the image");
        for (int k = 0; k < signs; ++k)
            sim.clearHistory(k);
        state.ResumeTiming();
    }
}

BENCHMARK(BM_BatchSend)
    ->Arg(1)
    ->Arg(4)
    ->Arg(8)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    TimesReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (int signs : {1, 4, 8})
        g_seconds[signs] =
            reporter.seconds["BM_BatchSend/" + std::to_string(signs) + "/iterations:3/real_time"];
    if (g_seconds[1] > 0 && g_seconds[8] > 0) {
        std::printf(
            "%zu bytes: 1 sign %.0f ms, 4 signs %.0f ms, 8 signs %.0f ms; 8 signs take "
            "%.2f times as long as one (goal: at most 1.3)\n",
            kImage, g_seconds[1] * 1e3, g_seconds[4] * 1e3, g_seconds[8] * 1e3,
            g_seconds[8] / g_seconds[1]);
    }
    benchmark::Shutdown();
    return 0;
}
