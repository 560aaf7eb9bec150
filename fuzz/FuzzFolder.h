#pragma once

// A private folder for the fuzzers whose parsers read files by path: made once
// per process, removed at exit. The input is written into it as the file the
// parser reads; a write that fails is a fault of the harness, never a finding.

#include "platform/TextCodec.h"

#include <stdlib.h>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

namespace fuzzfolder {

namespace fs = std::filesystem;

[[noreturn]] inline void harnessFailure(const std::string& what) {
    std::fprintf(stderr, "fuzz harness: %s\n", what.c_str());
    std::abort();
}

inline fs::path& folderPath() {
    static fs::path path;
    return path;
}

inline void removeFolder() {
    std::error_code ec;
    if (!folderPath().empty()) fs::remove_all(folderPath(), ec);
}

// The process's own folder: in memory when the system has /dev/shm (every
// save syncs its file, which on a disk would slow each run down to a crawl),
// else below the temporary folder.
inline const fs::path& folder() {
    fs::path& path = folderPath();
    if (path.empty()) {
        std::string pattern = "/dev/shm/zentari-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            std::error_code ec;
            pattern = (fs::temp_directory_path(ec) / "zentari-fuzz-XXXXXX").string();
            if (ec || !::mkdtemp(pattern.data()))
                harnessFailure(std::string("no private folder: ") + std::strerror(errno));
        }
        path = pattern;
        std::atexit(removeFolder);
    }
    return path;
}

// Empties the folder, so no input sees what another left.
inline void reset() {
    const fs::path& dir = folder();
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code removeError;
        fs::remove_all(it->path(), removeError);
        if (removeError)
            harnessFailure("cannot remove " + it->path().string() + ": " + removeError.message());
    }
    if (ec) harnessFailure("cannot list " + dir.string() + ": " + ec.message());
}

inline void writeFile(const fs::path& file, std::string_view bytes) {
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) harnessFailure("cannot write " + file.string());
}

inline std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) harnessFailure("cannot read " + file.string());
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Files and folders left in a folder (0 when it is gone).
inline size_t entries(const fs::path& dir) {
    std::error_code ec;
    size_t n = 0;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        ++n;
    return n;
}

// A text as it comes back from a file the program saved (in UTF-8): the same,
// but a lone surrogate (which only a damaged UTF-16 file can give) becomes U+FFFD.
inline std::u16string asSaved(std::u16string_view text) {
    return platform::utf8ToUtf16(platform::utf16ToUtf8(text));
}

inline std::string_view bytesOf(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Where a library fuzzer's input goes: a program folder with the shipped
// default, and a data folder with the user's file.
struct LibraryFiles {
    fs::path program;
    fs::path dataFolder;
    fs::path file;  // the user's own, as `fileIn` names it
    bool seeded;    // whether `locate` seeded it from the default
};

// Empties the folder and puts `bytes` there as a library's shipped default
// `defaultName`, seeding the user's file in an empty data folder as at a first
// start through `locate` (the library's own): a default that does not seed
// says why, and a seeded file is one a second look leaves alone (no damaged
// copy, the same bytes).
template <class FileIn, class Locate>
LibraryFiles seedLibrary(std::string_view bytes, std::u16string_view defaultName, FileIn fileIn,
                         Locate locate) {
    reset();
    LibraryFiles files{folder() / "program", folder() / "data", {}, false};
    files.file = fileIn(files.dataFolder);
    writeFile(files.program / defaultName, bytes);
    fs::create_directories(files.file.parent_path());
    std::string error;
    files.seeded = locate(files.file, files.program, &error);
    if (!files.seeded && error.empty()) std::abort();
    if (files.seeded) {
        const std::string seeded = readFile(files.file);
        if (!locate(files.file, files.program, &error)) std::abort();
        if (readFile(files.file) != seeded || entries(files.file.parent_path()) != 1) std::abort();
    }
    return files;
}

}  // namespace fuzzfolder
