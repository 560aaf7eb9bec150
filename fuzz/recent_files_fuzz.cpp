// Arbitrary bytes as the recent-files list: read it, move an entry to the front
// as opening a file does, save the list and read it back. A damaged list gives
// what could be read; the saved list reads back entry for entry.
#include "FuzzFolder.h"
#include "project/RecentFiles.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzfolder::reset();
    const auto file = RecentFiles::listFile(fuzzfolder::folder());
    if (file.empty()) std::abort();
    fuzzfolder::writeFile(file, fuzzfolder::bytesOf(data, size));

    RecentFiles recent;
    recent.read(file);
    const std::vector<std::u16string> read = recent.paths();
    if (!read.empty()) {
        const size_t before = recent.paths().size();
        recent.moveToFront(read.back());
        if (recent.paths().size() != before || recent.paths().front() != read.back()) std::abort();
    }

    const auto saved = fuzzfolder::folder() / "saved.tmp";
    std::string error;
    if (!recent.write(saved, &error)) std::abort();
    RecentFiles again;
    again.read(saved);
    std::vector<std::u16string> expected;
    for (const std::u16string& path : recent.paths())
        expected.push_back(fuzzfolder::asSaved(path));
    if (again.paths() != expected) std::abort();
    return 0;
}
