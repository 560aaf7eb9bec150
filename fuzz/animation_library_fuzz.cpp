// Arbitrary bytes as the animation library: as the shipped DefaultGif.dat that
// seeds a data folder without one, and as the user's GifFiles.xml. The seeded
// file holds a library that a second look leaves alone, the library stays
// bounded, program-relative paths are made absolute, and the list the dialog
// saves (its first fifty) reads back in the same order.
#include "FuzzFolder.h"
#include "assets/AnimationLibrary.h"
#include "platform/Folders.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto bytes = fuzzfolder::bytesOf(data, size);
    const auto [program, dataFolder, file, seeded] = fuzzfolder::seedLibrary(
        bytes, AnimationLibrary::kDefaultName, AnimationLibrary::fileIn, AnimationLibrary::locate);
    if (seeded) {
        const AnimationLibrary::Entries entries = AnimationLibrary::read(file, program);
        if (entries.size() > AnimationLibrary::kMaxAnimations * 8) std::abort();
        // Seeded paths are absolute already; reading them does not move them again.
        for (const auto& [index, path] : entries)
            if (path.size() >= 2 && path[0] == u'.' && (path[1] == u'\\' || path[1] == u'/'))
                std::abort();
    }

    // The same bytes as the user's own library.
    fuzzfolder::writeFile(file, bytes);
    const AnimationLibrary::Entries entries = AnimationLibrary::read(file, program);
    if (entries.size() > AnimationLibrary::kMaxAnimations * 8) std::abort();
    std::vector<std::u16string> paths = AnimationLibrary::paths(entries);
    if (paths.size() != entries.size()) std::abort();
    if (paths.size() > AnimationLibrary::kMaxAnimations)
        paths.resize(AnimationLibrary::kMaxAnimations);

    const auto saved = dataFolder / "saved.xml";
    std::string error;
    if (!AnimationLibrary::write(saved, paths, &error)) std::abort();
    // Written paths are absolute or as the user gave them: read with the same folder.
    std::vector<std::u16string> expected;
    for (const std::u16string& path : paths)
        expected.push_back(
            std::filesystem::path(platform::resolveProgramRelative(program, path)).u16string());
    if (AnimationLibrary::paths(AnimationLibrary::read(saved, program)) != expected) std::abort();
    return 0;
}
