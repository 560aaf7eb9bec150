#include "app/SignOptions.h"

bool SignOptions::take(std::vector<std::string>& args, std::string& error) {
    std::vector<std::string> rest;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "--virtual-sign" && args[i] != "--report-log") {
            rest.push_back(args[i]);
            continue;
        }
        if (i + 1 >= args.size()) {
            error = args[i] + " needs a value";
            return false;
        }
        const std::string& value = args[i + 1];
        if (args[i] == "--report-log") {
            reportLog = value;
        } else if (std::string why; auto config = SimulatedSign::parseVirtualSign(value, why)) {
            virtualSigns.push_back(std::move(*config));
        } else {
            error = "--virtual-sign " + value + ": " + why;
            return false;
        }
        ++i;
    }
    args = std::move(rest);
    return true;
}

std::unique_ptr<platform::HidBackend> SignOptions::makeBackend(
    platform::Clock& clock, const std::function<std::unique_ptr<platform::HidBackend>()>& realSigns,
    SimulatedSign** simulated, std::string& error) const {
    if (simulated) *simulated = nullptr;
    if (virtualSigns.empty()) return realSigns();
    auto sim = std::make_unique<SimulatedSign>(clock);
    for (const auto& config : virtualSigns)
        sim->addSign(config);
    if (std::string failed; !reportLog.empty() && !sim->setReportLog(reportLog, &failed)) {
        error = "cannot append to the report log " + failed;
        return nullptr;
    }
    if (simulated) *simulated = sim.get();
    return sim;
}
