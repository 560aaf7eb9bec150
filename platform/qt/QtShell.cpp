#include "platform/qt/QtShell.h"

#include "platform/ScriptStarter.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

#include <cstdlib>

namespace platform {

bool QtShell::open(const std::filesystem::path& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path.string())));
}

bool QtShell::startScript(const std::filesystem::path& script,
                          const std::vector<std::string>& environment, std::string* error) {
    const std::string terminal = findTerminal([](const char* name) { return std::getenv(name); });
    return platform::startScript(script, terminal, environment, error);
}

}  // namespace platform
