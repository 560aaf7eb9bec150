// Arbitrary bytes as the screen catalogue (ScreenDefault.dat or the user's
// copy): read it, then ask the size of every position and some beyond. Every
// size is one a screen can have, and the user's copy wins over the shipped one.
#include "FuzzFolder.h"
#include "project/ScreenCatalogue.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void checkSize(const std::pair<int32_t, int32_t>& size) {
    if (size.first < 12 || size.first > 96 || size.second < 11 || size.second > 96) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzfolder::reset();
    const auto& dir = fuzzfolder::folder();
    const auto user = dir / "user" / "ScreenDefault.dat";
    const auto shipped = dir / "ScreenDefault.dat";
    fuzzfolder::writeFile(user, fuzzfolder::bytesOf(data, size));

    ScreenCatalogue catalogue;
    const bool readable = catalogue.load(user, shipped, dir);
    if (readable != catalogue.readable()) std::abort();
    if (!readable && !catalogue.entries().empty()) std::abort();
    const int count = static_cast<int>(catalogue.entries().size());
    for (int index = -2; index < count + 2; ++index)
        checkSize(catalogue.sizeOf(index));
    for (const auto& entry : catalogue.entries()) {
        if (entry.name.empty()) std::abort();
        if (entry.kind != ScreenCatalogue::Kind::Pack && entry.pictures.size() > 1) std::abort();
        for (const auto& picture : entry.pictures)
            if (picture.empty()) std::abort();
    }
    return 0;
}
