// Arbitrary bytes as a picture library: the user's imageconfig.xml, and the
// shipped DefaultImage.dat when the user has none. Read both ways, save what
// was read and read it back. Heights stay within what a line can show, the
// default's paths are made absolute in the program folder, a free id is free,
// and the saved library reads back whole, record for record.
#include "FuzzFolder.h"
#include "assets/PictureLibrary.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzfolder::reset();
    const auto& dir = fuzzfolder::folder();
    const auto program = dir / "program";
    const auto user = dir / "data" / "imageconfig.xml";
    const auto defaults = program / "DefaultImage.dat";
    fuzzfolder::writeFile(defaults, fuzzfolder::bytesOf(data, size));

    std::vector<PictureRecord> records;
    bool whole = false;
    const bool read = PictureLibrary::read(defaults, records, &whole);
    if (!read && (!records.empty() || whole)) std::abort();

    // No user file yet: the default, its paths below the program folder.
    PictureLibrary library;
    if (!library.loadAtStartup(user, defaults, program)) std::abort();
    if (library.records().size() != records.size()) std::abort();
    const std::u16string folder = program.u16string();
    for (const PictureRecord& r : library.records()) {
        if (r.nDestHeight > PictureLibrary::kMaxHeight) std::abort();
        if (r.imgPath.compare(0, folder.size(), folder) != 0) std::abort();
    }

    // The same bytes as the user's file: taken as they are.
    fuzzfolder::writeFile(user, fuzzfolder::bytesOf(data, size));
    PictureLibrary mine;
    if (mine.loadAtStartup(user, defaults, program) != whole) std::abort();
    if (mine.records().size() != records.size()) std::abort();
    for (size_t k = 0; k < records.size(); ++k) {
        PictureRecord expected = records[k];
        expected.nDestHeight = std::min(expected.nDestHeight, PictureLibrary::kMaxHeight);
        if (!(mine.records()[k] == expected)) std::abort();
    }

    const int32_t id = PictureLibrary::nextFreeId(records);
    if (id != 0 && (id < PictureLibrary::kFirstUserId || id > PictureLibrary::kLastUserId))
        std::abort();
    if (id != 0 && std::any_of(records.begin(), records.end(),
                               [id](const auto& r) { return r.nValueID == id; }))
        std::abort();

    const auto saved = dir / "saved.xml";
    std::string error;
    if (!PictureLibrary::write(saved, records, &error)) std::abort();
    std::vector<PictureRecord> again;
    bool againWhole = false;
    if (!PictureLibrary::read(saved, again, &againWhole) || !againWhole) std::abort();
    for (PictureRecord& r : records)
        r.imgPath = fuzzfolder::asSaved(r.imgPath);
    if (again != records) std::abort();
    return 0;
}
