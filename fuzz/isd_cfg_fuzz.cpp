// Arbitrary text as a flash description file: read for the command line and
// for the console, and searched for a flash type; the records always have
// their sizes and nothing reads outside what it was given.
#include "flashtool/config/FlashDescription.h"
#include "flashtool/config/FlashTypeLookup.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::ostringstream console;
    for (auto clock : {vornload::SdramClockSource::fromFile, vornload::SdramClockSource::console}) {
        std::istringstream in(text);
        vornload::FlashDescription description;
        const vornload::ConfigResult result =
            vornload::readFlashDescription(in, clock, console, description);
        if (result.ok() && !description.loaderArgs.valid()) std::abort();
        if (description.record.toBytes().size() != 108) std::abort();
        if (description.loaderArgs.toBytes().size() != 32) std::abort();
    }
    uint32_t id = 0;
    for (size_t k = 0; k < size && k < 3; ++k)
        id = id << 8 | data[k];
    std::istringstream in(text);
    vornload::lookupFlashType(in, id, console);
    return 0;
}
