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

    // The options as --help lists them.
    static constexpr const char* kHelp =
        "  --virtual-sign WxH[:OPTION,...]\n"
        "                      talk to a simulated sign of W columns and H rows\n"
        "                      (1-255 x 1-127) instead of USB; give it again for more.\n"
        "                      OPTIONs, separated by commas:\n"
        "                        delay=MS    answer each packet after MS ms (0-60000)\n"
        "                        port=N      report USB port address N (0-255), or\n"
        "                                    port=none for none; default: the sign's\n"
        "                                    number, 1, 2, ...\n"
        "                        status=K:S  answer every packet of kind K with status\n"
        "                                    S (0-255 each); again for other kinds\n"
        "                        unplug=N    pull the sign right after it has taken N\n"
        "                                    packets\n"
        "                        firmware=ready | firmware=later:N | firmware=flashtool\n"
        "                                    answer firmware requests: ready at once;\n"
        "                                    not ready for the first N, then ready; or\n"
        "                                    always \"use the flash tool\"\n"
        "                        disk=DIR    the existing folder DIR is the sign's\n"
        "                                    removable disk (a software copy to the\n"
        "                                    sign empties it first)\n"
        "  --report-log FILE   the virtual signs append every report they receive to\n"
        "                      FILE, one line of lower-case hex per report; \"%n\" in\n"
        "                      FILE gives each sign a file of its own, named by its\n"
        "                      number\n";

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
