#include "app/AppFolders.h"

#include "platform/Folders.h"

#include <sys/stat.h>
#include <system_error>

AppFolders AppFolders::fromEnvironment() {
    return AppFolders(platform::userDataFolder(),
                      platform::programFolder(platform::executableFolder()),
                      platform::userTempFolder());
}

std::filesystem::path AppFolders::tempFolder() const {
    if (m_temp.empty()) return {};
    std::error_code ec;
    if (!std::filesystem::is_directory(m_temp, ec)) {
        std::filesystem::create_directories(m_temp.parent_path(), ec);
        ::mkdir(m_temp.c_str(), 0700);
    }
    return m_temp;
}

std::filesystem::path AppFolders::dataFolder() const {
    if (m_data.empty()) return {};
    std::error_code ec;
    if (!std::filesystem::is_directory(m_data, ec)) std::filesystem::create_directories(m_data, ec);
    return m_data;
}

void AppFolders::createDataSubFolders() const {
    const std::filesystem::path data = dataFolder();
    if (data.empty()) return;
    std::error_code ec;
    std::filesystem::create_directories(data / "DownLoads", ec);
    std::filesystem::create_directories(data / "EditBmps", ec);
}

std::filesystem::path AppFolders::dataFile(std::string_view name) const {
    const std::filesystem::path data = dataFolder();
    return data.empty() ? std::filesystem::path() : data / name;
}
