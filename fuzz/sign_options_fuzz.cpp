// Arbitrary bytes as a command line (one argument per NUL- or newline-separated
// piece) with the sign options among the others: the options are taken out,
// the rest stays in order, every simulated sign asked for has sizes and
// options within their bounds, and the back end made from them has exactly
// those signs. A report log named by the input is put in a private folder.
#include "FuzzArguments.h"
#include "FuzzFolder.h"
#include "app/SignOptions.h"
#include "platform/Clock.h"

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr size_t kMaxArgs = 32;

void checkConfig(const SimulatedSign::Config& c) {
    if (c.width < 1 || c.width > 255 || c.height < 1 || c.height > 127) std::abort();
    if (c.replyDelay < std::chrono::milliseconds(0) ||
        c.replyDelay > std::chrono::milliseconds(SimulatedSign::kMaxDelayMs))
        std::abort();
    if (c.portAddress && (*c.portAddress < -1 || *c.portAddress > 255)) std::abort();
    if (c.unplugAfterPackets < 0 || c.unplugAfterPackets > SimulatedSign::kMaxUnplugPackets)
        std::abort();
    if (c.firmware.busyAnswers < 0 || (c.firmware.busyAnswers > SimulatedSign::kMaxBusyAnswers &&
                                       c.firmware.busyAnswers != SimulatedSign::kAlwaysBusy))
        std::abort();
    if (c.disk && (c.disk->rootPath.empty() || !std::filesystem::is_directory(c.disk->rootPath)))
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> given = fuzzargs::split(data, size, kMaxArgs);
    std::vector<std::string> args = given;
    SignOptions options;
    std::string error;
    if (!options.take(args, error)) {
        if (error.empty()) std::abort();
        return 0;
    }
    if (!error.empty()) std::abort();

    // What is left is the arguments without the options and their values, in order.
    size_t at = 0, taken = 0;
    for (size_t k = 0; k < given.size(); ++k) {
        if (given[k] == "--virtual-sign" || given[k] == "--report-log") {
            ++k;
            taken += 2;
            continue;
        }
        if (at >= args.size() || args[at++] != given[k]) std::abort();
    }
    if (at != args.size() || args.size() + taken != given.size()) std::abort();
    for (const auto& config : options.virtualSigns)
        checkConfig(config);

    if (!options.reportLog.empty()) {
        fuzzfolder::reset();
        options.reportLog = (fuzzfolder::folder() / "log-%n").string();
    }
    platform::VirtualClock clock;
    SimulatedSign* simulated = nullptr;
    bool real = false;
    auto backend = options.makeBackend(
        clock,
        [&] {
            real = true;
            return std::unique_ptr<platform::HidBackend>();
        },
        &simulated, error);
    if (options.virtualSigns.empty()) {
        if (!real || simulated) std::abort();
        return 0;
    }
    if (real || !backend || simulated != backend.get()) std::abort();
    const auto present = backend->enumerate();
    if (present.size() != options.virtualSigns.size()) std::abort();
    for (size_t k = 0; k < present.size(); ++k) {
        const auto& c = options.virtualSigns[k];
        const int32_t port = c.portAddress ? *c.portAddress : static_cast<int32_t>(k + 1);
        if (present[k].portAddress != port) std::abort();
    }
    return 0;
}
