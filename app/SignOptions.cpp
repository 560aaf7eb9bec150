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
        } else if (auto size = SimulatedSign::parseSize(value)) {
            virtualSigns.push_back(*size);
        } else {
            error = "'" + value + "' is not a sign size such as 48x12 (1-255 x 1-127)";
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
    auto sim = std::make_unique<SimulatedSign>(clock, virtualSigns);
    if (!reportLog.empty() && !sim->setReportLog(reportLog)) {
        error = "cannot append to the report log " + reportLog;
        return nullptr;
    }
    if (simulated) *simulated = sim.get();
    return sim;
}
