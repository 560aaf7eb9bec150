#include "app/AppFolders.h"
#include "app/CGlimraApp.h"
#include "app/CGlimraDlg.h"
#include "app/ui/CMainWindow.h"
#include "platform/Clock.h"
#include "platform/LocaleIds.h"
#include "platform/hidapi/HidapiBackend.h"
#include "platform/qt/QtFontCatalog.h"
#include "platform/qt/QtImageCodec.h"
#include "platform/qt/QtShell.h"
#include "platform/qt/QtTextRenderer.h"

#include <QApplication>
#include <QLocale>

#include <cstdio>
#include <cstdlib>
#include <string_view>

#ifndef ZENTARI_VERSION
#define ZENTARI_VERSION "unknown"
#endif

namespace {

void printUsage(const char* program) {
    std::printf(
        "Usage: %s [OPTION]...\n"
        "Lays out content for USB LED message signs, previews it and sends it to them.\n"
        "\n"
        "  --help        show this help and exit\n"
        "  --version     show the version and exit\n"
        "\n"
        "Qt's -platform NAME, -style NAME and -display NAME are passed on to Qt.\n",
        program);
}

bool isSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

}  // namespace

int main(int argc, char** argv) {
    const char* program = argc > 0 && argv[0] ? argv[0] : "zentari";
    bool platformGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            printUsage(program);
            return 0;
        }
        if (arg == "--version") {
            std::printf("zentari %s\n", ZENTARI_VERSION);
            return 0;
        }
        if (arg == "-platform" || arg == "-style" || arg == "-display") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "zentari: option '%s' needs a value\n", argv[i]);
                return 2;
            }
            platformGiven |= arg == "-platform";
            ++i;
            continue;
        }
        if (!arg.empty() && arg[0] == '-')
            std::fprintf(stderr, "zentari: unknown option '%s'\n", argv[i]);
        else
            std::fprintf(stderr, "zentari: unexpected argument '%s'\n", argv[i]);
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

    // Destroyed in reverse: the window lets go of the controller before the
    // controller writes its files.
    platform::QtShell shell;
    platform::QtImageCodec images;
    platform::QtFontCatalog fonts;
    platform::QtTextRenderer text(fonts);
    platform::HidapiBackend hid;
    platform::SteadyClock clock;
    CGlimraApp app({shell, images, fonts, text, hid, clock});
    CGlimraDlg dlg(app, AppFolders::fromEnvironment());
    dlg.setSystemLanguageId(platform::languageIdForLocale(QLocale::system().name().toStdString()));
    CMainWindow window(dlg);
    dlg.onInitDialog();
    window.show();
    return qapp.exec();
}
