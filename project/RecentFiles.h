#pragma once

#include <filesystem>
#include <string>
#include <vector>

// The recently used project files, the most recent first, kept between runs in
// "GLIMRA_TEMP.TMP" of the user's own temporary folder.
class RecentFiles {
public:
    static constexpr size_t kMenuEntries = 20;

    const std::vector<std::u16string>& paths() const { return m_paths; }
    void setPaths(std::vector<std::u16string> paths) { m_paths = std::move(paths); }

    // Removes the first entry equal to `path` without regard to case and puts
    // `path` in front.
    void moveToFront(std::u16string path);

    // The list file of a temporary folder; empty when its path is not 1 to 259
    // characters long (then the list is neither read nor written).
    static std::filesystem::path listFile(const std::filesystem::path& tempFolder);

    // Every child element's text of the root, in order, whatever its name.
    void read(const std::filesystem::path& file);
    // Declaration header, root "temp", one "Item" per path; false with the reason
    // when it could not be written.
    bool write(const std::filesystem::path& file, std::string* error = nullptr) const;

private:
    std::vector<std::u16string> m_paths;
};
