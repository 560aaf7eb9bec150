#pragma once

#include <filesystem>
#include <string_view>

// The program's folders: the data folder with the user's files, the program
// folder with the shipped ones, and the user's own folder for short-lived files. The composition
// root finds them (platform/Folders.h); tests give their own.
class AppFolders {
public:
    AppFolders() = default;
    AppFolders(std::filesystem::path data, std::filesystem::path program,
               std::filesystem::path temp)
        : m_data(std::move(data)), m_program(std::move(program)), m_temp(std::move(temp)) {}

    // The folders of this system.
    static AppFolders fromEnvironment();

    // Created when it does not exist; empty when the system names none.
    std::filesystem::path dataFolder() const;
    const std::filesystem::path& programFolder() const { return m_program; }
    // Created, for this user only, when it does not exist; empty when the system names none.
    std::filesystem::path tempFolder() const;

    // "DownLoads" and "EditBmps" under the data folder; existing ones stay.
    void createDataSubFolders() const;

    // A file of the data folder, e.g. dataFile("config.xml"); empty without a data folder.
    std::filesystem::path dataFile(std::string_view name) const;
    std::filesystem::path programFile(std::string_view name) const { return m_program / name; }

private:
    std::filesystem::path m_data;
    std::filesystem::path m_program;
    std::filesystem::path m_temp;
};
