// vornload: builds the flash image of the sign's controller chip and writes it
// into the chip, or into a file when no chip is attached.
#include "flashtool/linux/SysfsDiskSource.h"
#include "flashtool/run/Console.h"
#include "flashtool/run/Run.h"
#include "flashtool/run/TempFolder.h"
#include "flashtool/run/UsageText.h"
#include "flashtool/sim/SimulatedDiskSource.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << vornload::usageText;
        return 0;
    }
    if (args.size() == 1 && args[0] == "--version") {
        std::cout << "vornload " << vornload::versionText << "\n";
        return 0;
    }
    std::string error;
    const std::string temp =
        vornload::userTempFolder([](const char* name) { return std::getenv(name); }, error);
    if (temp.empty()) {
        std::cerr << "vornload: " << error << "\n";
        return 7;
    }
    // VORNLOAD_SIM puts a simulated chip on the bus instead of the disks.
    std::unique_ptr<vornload::DiskSource> disks;
    if (const char* sim = std::getenv("VORNLOAD_SIM"); sim && *sim) {
        vornload::SimulatedChipConfig config;
        std::shared_ptr<vornload::SimulatedChip> chip;
        if (vornload::parseSimulatedChip(sim, config, error))
            chip = vornload::SimulatedChip::create(config, error);
        if (!chip) {
            std::cerr << "vornload: VORNLOAD_SIM: " << error << "\n";
            return 1;
        }
        disks = std::make_unique<vornload::SimulatedDiskSource>(chip);
    } else {
        disks = std::make_unique<vornload::SysfsDiskSource>();
    }

    vornload::RunEnvironment env;
    env.out = &std::cout;
    env.notice = &std::cerr;
    env.tempFolder = temp;
    env.disks = disks.get();
    // The simulated chip counts looks at the bus instead of time.
    if (!std::getenv("VORNLOAD_SIM"))
        env.pause = [](uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
    const int status = args.empty() ? vornload::runConsole(std::cin, env, ::isatty(1) == 1)
                                    : vornload::runCommandLine(args, env);
    std::cout.flush();
    return status;
}
