// Arbitrary bytes as config.xml: read the settings over the defaults, then save
// them and read the saved file into fresh defaults. What was read keeps the
// sizes the program allows, and the saved settings read back as they were.
#include "FuzzFolder.h"
#include "app/AppSettings.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzfolder::reset();
    const auto file = fuzzfolder::folder() / "config.xml";
    fuzzfolder::writeFile(file, fuzzfolder::bytesOf(data, size));

    AppSettings settings;
    settings.read(file);
    if (settings.width != 48 && settings.width != 36) std::abort();
    if (settings.height != 12) std::abort();

    const auto saved = fuzzfolder::folder() / "saved.xml";
    std::string error;
    if (!settings.write(saved, &error)) std::abort();
    AppSettings again;
    // Every field differs from what the file holds, so each must be read.
    again.languageName = u"-";
    again.playMode = settings.playMode ^ 1;
    again.tempOffset = settings.tempOffset ^ 1;
    again.width = settings.width == 48 ? 36 : 48;
    again.autoUpdate = settings.autoUpdate ^ 1;
    if (!again.read(saved)) std::abort();
    AppSettings expected = settings;
    expected.languageName = fuzzfolder::asSaved(settings.languageName);
    if (!(again == expected)) std::abort();
    return 0;
}
