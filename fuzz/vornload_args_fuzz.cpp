// Arbitrary bytes as vornload's command line, one argument per NUL- or
// newline-separated piece: the parser never reads past its arguments, never
// looks at the disk (whether a file exists is answered from its name), and
// leaves the options within the values a run can use.
#include "FuzzArguments.h"
#include "flashtool/run/RunOptions.h"

#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

namespace {

constexpr size_t maxArgs = 64;

// "0X" is the only text on which the two ways of reading a number may differ.
void checkNumber(const std::string& text) {
    const uint32_t either = vornload::parseNumber(text, false);
    const uint32_t lowerOnly = vornload::parseNumber(text, true);
    const bool upperPrefix = text.size() > 2 && text[0] == '0' && text[1] == 'X';
    if (!upperPrefix && either != lowerOnly) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> args = fuzzargs::split(data, size, maxArgs);
    std::ostream discard(nullptr);
    vornload::RunOptions options;
    const auto exists = [](const std::string& name) { return name.size() % 2 == 0; };
    const vornload::ParseResult result = vornload::parseRunOptions(args, options, discard, exists);

    if (result.error < 0 || result.error > 2) std::abort();
    if (result.error != 0 && result.message.empty()) std::abort();
    if (options.mode < 0 || options.mode > 6) std::abort();
    if (options.storageKind != 0 && options.storageKind != 2 && options.storageKind != 3)
        std::abort();
    if (options.divider > 255) std::abort();
    if (options.alertMode < 16 || options.alertMode > 18) std::abort();
    if (options.readLength > (1ull << 32)) std::abort();
    if (options.goAddress < -1 || options.goAddress > 0xFFFFFFFFll) std::abort();
    // Only names that "exist" and are not options become image input files.
    for (const std::string& file : options.imageFiles)
        if (file.size() % 2 != 0 || (!file.empty() && file[0] == '-')) std::abort();
    if (options.imageFiles.size() + 2 * options.ramDownloads.size() > args.size()) std::abort();
    // "-read" may name its file after "-toflashfile"; only a file run keeps the dash rule.
    if (options.mode == 6 && options.storageKind == 3 &&
        options.outputFile.find('-') != std::string::npos)
        std::abort();

    for (const std::string& arg : args)
        checkNumber(arg);
    return 0;
}
