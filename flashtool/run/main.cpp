// vornload: builds the flash image of the sign's controller chip and writes it
// into the chip, or into a file when no chip is attached.
#include "flashtool/run/Run.h"
#include "flashtool/run/TempFolder.h"
#include "flashtool/run/UsageText.h"

#include <chrono>
#include <cstdlib>
#include <iostream>
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
    if (args.empty()) {
        std::cout << vornload::usageText;
        return 1;
    }

    std::string error;
    const std::string temp =
        vornload::userTempFolder([](const char* name) { return std::getenv(name); }, error);
    if (temp.empty()) {
        std::cerr << "vornload: " << error << "\n";
        return 7;
    }
    vornload::RunEnvironment env;
    env.out = &std::cout;
    env.notice = &std::cerr;
    env.tempFolder = temp;
    env.pause = [](uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
    const int status = vornload::runCommandLine(args, env);
    std::cout.flush();
    return status;
}
