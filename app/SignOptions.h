#pragma once

#include "device/sim/SimulatedSign.h"
#include "platform/Clock.h"
#include "platform/HidBackend.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// The command line's choice of signs, the same for the window and zentari-cli:
// "--virtual-sign WxH[:OPTION,...]" (again for more signs) talks to simulated
// signs instead of USB, "--report-log FILE" appends what they receive to FILE,
// or to one file per sign when FILE holds "%n".
struct SignOptions {
    std::vector<SimulatedSign::Config> virtualSigns;
    std::string reportLog;

    // Takes the sign options out of the arguments, leaving the others in order;
    // false with `error` set when one is wrong or lacks its value.
    bool take(std::vector<std::string>& args, std::string& error);

    // Simulated signs when any were asked for (`simulated` then points at them),
    // else what `realSigns` makes; null with `error` set when a report log
    // cannot be opened.
    std::unique_ptr<platform::HidBackend> makeBackend(
        platform::Clock& clock,
        const std::function<std::unique_ptr<platform::HidBackend>()>& realSigns,
        SimulatedSign** simulated, std::string& error) const;
};
