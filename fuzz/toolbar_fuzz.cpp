// Arbitrary bytes as the toolbar description: as the shipped Toolbar.dat that
// seeds a data folder without one, and as the user's Toolbar.xml. The seeded
// file holds a description that a second look leaves alone, what is read stays
// bounded, and a saved description reads back field for field, item for item.
#include "FuzzFolder.h"
#include "assets/ToolbarDescription.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

bool same(const ToolbarDescription::Description& a, const ToolbarDescription::Description& b) {
    return a.width == b.width && a.height == b.height && a.spacing == b.spacing &&
           a.items == b.items;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto bytes = fuzzfolder::bytesOf(data, size);
    const auto [program, dataFolder, file, seeded] =
        fuzzfolder::seedLibrary(bytes, ToolbarDescription::kDefaultName, ToolbarDescription::fileIn,
                                ToolbarDescription::locate);
    if (seeded) {
        const auto description = ToolbarDescription::read(file);
        if (description.items.size() > ToolbarDescription::kMaxItems) std::abort();
    }

    // The same bytes as the user's own description.
    fuzzfolder::writeFile(file, bytes);
    const auto description = ToolbarDescription::read(file);
    if (description.items.size() > ToolbarDescription::kMaxItems) std::abort();
    const auto saved = dataFolder / "saved.xml";
    std::string error;
    if (!ToolbarDescription::write(saved, description, &error)) std::abort();
    auto expected = description;
    for (auto& item : expected.items)
        item = {fuzzfolder::asSaved(item.id), fuzzfolder::asSaved(item.title),
                fuzzfolder::asSaved(item.path)};
    if (!same(ToolbarDescription::read(saved), expected)) std::abort();
    return 0;
}
