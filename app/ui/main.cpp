#include "app/AppFolders.h"
#include "app/CGlimraApp.h"
#include "app/CGlimraDlg.h"
#include "app/SignOptions.h"
#include "app/ui/CMainWindow.h"
#include "device/sim/SimulatedSign.h"
#include "device/ui/CVirtualSignWindow.h"
#include "platform/Clock.h"
#include "platform/LocaleIds.h"
#include "platform/curl/CurlHttp.h"
#include "platform/hidapi/HidapiBackend.h"
#include "platform/qt/QtFontCatalog.h"
#include "platform/qt/QtImageCodec.h"
#include "platform/qt/QtShell.h"
#include "platform/qt/QtTextRenderer.h"
#include "preview/ui/VirtualSignPlayer.h"

#include <QApplication>
#include <QLocale>
#include <QPoint>
#include <QRect>
#include <QScreen>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#ifndef ZENTARI_VERSION
#define ZENTARI_VERSION "unknown"
#endif

namespace {

void printUsage(const char* program) {
    std::printf(
        "Usage: %s [OPTION]... [PROJECT.vqd]\n"
        "Lays out content for USB LED message signs, previews it and sends it to them.\n"
        "A project file named opens as File > Open opens it: its screens join the\n"
        "project the window starts with.\n"
        "\n"
        "%s"
        "  --help              show this help and exit\n"
        "  --version           show the version and exit\n"
        "\n"
        "Qt's -platform NAME, -style NAME and -display NAME are passed on to Qt.\n",
        program, SignOptions::kHelp);
}

bool isSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

}  // namespace

int main(int argc, char** argv) {
    const char* program = argc > 0 && argv[0] ? argv[0] : "zentari";
    bool platformGiven = false;
    // The sign options as zentari-cli reads them; the rest is ours or Qt's.
    SignOptions signs;
    std::string projectFile;
    std::vector<std::string> args(argv + 1, argv + argc);
    if (std::string error; !signs.take(args, error)) {
        std::fprintf(stderr, "zentari: %s\n", error.c_str());
        return 2;
    }
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "--help" || arg == "-h") {
            printUsage(program);
            return 0;
        }
        if (arg == "--version") {
            std::printf("zentari %s\n", ZENTARI_VERSION);
            return 0;
        }
        if (arg == "-platform" || arg == "-style" || arg == "-display") {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "zentari: option '%s' needs a value\n", args[i].c_str());
                return 2;
            }
            platformGiven |= arg == "-platform";
            ++i;
            continue;
        }
        // The file a desktop hands over when a project is opened with the program.
        if ((arg.empty() || arg[0] != '-') && projectFile.empty()) {
            projectFile = args[i];
            continue;
        }
        if (!arg.empty() && arg[0] == '-')
            std::fprintf(stderr, "zentari: unknown option '%s'\n", args[i].c_str());
        else
            std::fprintf(stderr, "zentari: unexpected argument '%s' (one project file at most)\n",
                         args[i].c_str());
        std::fprintf(stderr, "Try '%s --help' for the options.\n", program);
        return 2;
    }

    // Without a display Qt aborts with a core dump; say what to do instead.
    if (!platformGiven && !isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY") &&
        !isSet("QT_QPA_PLATFORM")) {
        std::fprintf(stderr,
                     "zentari: no display. Start it from a desktop session, or run it under a "
                     "virtual display: xvfb-run -a %s\n",
                     program);
        return 1;
    }

    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zentari"));
    QApplication::setOrganizationName(QStringLiteral("brelvik"));
    QApplication::setApplicationVersion(QStringLiteral(ZENTARI_VERSION));
    // Lets the desktop match the window to zentari.desktop and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("zentari"));

    // Destroyed in reverse: the window lets go of the controller before the
    // controller writes its files.
    platform::QtShell shell;
    platform::QtImageCodec images;
    platform::QtFontCatalog fonts;
    platform::QtTextRenderer text(fonts);
    // Simulated signs when asked for, else the real ones on USB.
    platform::SteadyClock clock;
    SimulatedSign* simulated = nullptr;
    std::string error;
    const std::unique_ptr<platform::HidBackend> hid = signs.makeBackend(
        clock, [] { return std::make_unique<platform::HidapiBackend>(); }, &simulated, error);
    if (!hid) {
        std::fprintf(stderr, "zentari: %s\n", error.c_str());
        return 1;
    }
    // The update check's manifest and release file.
    platform::CurlHttp http;
    CGlimraApp app({shell, images, fonts, text, *hid, clock, &http});
    CGlimraDlg dlg(app, AppFolders::fromEnvironment());
    dlg.setSystemLanguageId(platform::languageIdForLocale(QLocale::system().name().toStdString()));
    CMainWindow window(dlg);
    dlg.onInitDialog();
    window.show();
    // A file that does not open says why in a message, as File > Open does.
    if (!projectFile.empty()) dlg.openProject(std::filesystem::absolute(projectFile));

    std::vector<std::unique_ptr<CVirtualSignWindow>> signWindows;
    if (simulated) {
        for (int k = 0; k < simulated->signCount(); ++k) {
            auto w = std::make_unique<CVirtualSignWindow>(*simulated, k, dlg.language());
            QObject::connect(&window, &CMainWindow::textsApplied, w.get(),
                             &CVirtualSignWindow::retranslate);
            // The sign plays what it received, as the preview does.
            w->setPlayer(std::make_unique<VirtualSignPlayer>(*w));
            // Beside the main window when the screen has room, else below it.
            const QRect screen = window.screen()->availableGeometry();
            QPoint at = window.frameGeometry().topRight() + QPoint(12, k * 40);
            if (at.x() + w->width() > screen.right())
                at = window.frameGeometry().bottomLeft() + QPoint(k * 40, 12 - w->height() / 2);
            w->move(at.x() < screen.left() ? screen.left()
                                           : std::min(at.x(), screen.right() - w->width()),
                    std::clamp(at.y(), screen.top(),
                               std::max(screen.top(), screen.bottom() - w->height())));
            w->show();
            signWindows.push_back(std::move(w));
        }
        simulated->setBlockListener([&signWindows](int sign, const SimulatedSign::Block& block) {
            if (sign >= 0 && sign < static_cast<int>(signWindows.size()))
                signWindows[sign]->blockReceived(block);
        });
    }
    const int status = qapp.exec();
    if (simulated) {
        simulated->setBlockListener({});
        if (const std::string failed = simulated->reportLogError(); !failed.empty())
            std::fprintf(stderr, "zentari: %s\n", failed.c_str());
    }
    return status;
}
