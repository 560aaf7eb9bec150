#pragma once

// A private folder and file contents for benchmarks that work on files.

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace benchfiles {

// A private folder for the run's files, removed with everything in it at the end.
class ScratchFolder {
public:
    bool create(const std::string& prefix) {
        std::error_code ec;
        std::string pattern =
            (std::filesystem::temp_directory_path(ec) / (prefix + "-XXXXXX")).string();
        if (ec || !::mkdtemp(pattern.data())) return false;
        m_path = pattern;
        return true;
    }
    ~ScratchFolder() {
        if (m_path.empty()) return;
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

inline bool writeFile(const std::filesystem::path& path, const std::vector<char>& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    return !file.fail();
}

inline std::vector<char> randomBytes(size_t size, uint32_t seed) {
    std::mt19937 generator(seed);
    std::vector<char> bytes(size);
    for (char& b : bytes)
        b = static_cast<char>(generator() & 0xFF);
    return bytes;
}

}  // namespace benchfiles
