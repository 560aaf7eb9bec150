// zentari-cli: the program's core without a window.
#include "app/AppFolders.h"
#include "app/AppSettings.h"
#include "app/LanguageTable.h"
#include "assets/PictureLibrary.h"
#include "cli/Explain.h"
#include "content/BitmapFontLibrary.h"
#include "content/CDlgProgram.h"
#include "content/FontList.h"
#include "content/ProgramEncoder.h"
#include "content/TextRasterizer.h"
#include "device/DeviceImage.h"
#include "platform/LocaleIds.h"
#include "platform/SafeSave.h"
#include "platform/StringUtil.h"
#include "platform/TextCodec.h"
#include "platform/qt/QtFontCatalog.h"
#include "platform/qt/QtImageCodec.h"
#include "platform/qt/QtTextRenderer.h"
#include "project/ProjectFile.h"

#include <QGuiApplication>
#include <QLocale>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "Usage: zentari-cli COMMAND [ARGUMENTS]\n"
    "\n"
    "Commands:\n"
    "  image PROJECT.vqd [--screen NAME] [-o FILE]\n"
    "      Write the device image of a screen of the project (the first screen when\n"
    "      none is named; names compared without regard to case) with every checked\n"
    "      program, to FILE or to standard output.\n"
    "  explain FILE\n"
    "      Print every field of a device image, its records, animation tables and\n"
    "      temperature blocks, and each page as rows of '#' (lit) and '.' (dark).\n"
    "      A damaged image is explained as far as it is sound, and its first\n"
    "      problem is named.\n"
    "  --help, help        this text\n"
    "  --version           the program's version\n"
    "\n"
    "The program folder, the data folder, the settings (play mode, temperature\n"
    "correction, language), the picture library and the fonts are those the\n"
    "window uses. Exit status 0 on success, 1 when the work failed, 2 for a wrong\n"
    "command line.\n";

int fail(const std::string& message, int status = 1) {
    std::fprintf(stderr, "zentari-cli: %s\n", message.c_str());
    return status;
}

int usage(const std::string& message) {
    std::fprintf(stderr, "zentari-cli: %s\nTry 'zentari-cli --help'.\n", message.c_str());
    return 2;
}

std::optional<std::string> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// What the window sets up at start-up and the encoder needs: settings, the
// language (for the default font), the fonts and the picture library.
struct Session {
    AppFolders folders = AppFolders::fromEnvironment();
    AppSettings settings;
    LanguageTable language;
    PictureLibrary pictures;
    BitmapFontLibrary bitmapFonts;
    platform::QtFontCatalog fontCatalog;
    platform::QtImageCodec images;
    platform::QtTextRenderer text{fontCatalog};
    CDlgProgram encoder{CDlgProgram::Instance::Encoder, language};
    TextRasterizer rasterizer{text, bitmapFonts};
    ProgramEncoder programEncoder{rasterizer, images};

    Session() {
        settings.read(folders.dataFile("config.xml"));
        language.findLanguages(folders.programFolder());
        if (language.loadByName(settings.languageName).empty())
            language.loadByName(LanguageTable::systemLanguageName(
                platform::languageIdForLocale(QLocale::system().name().toStdString())));
        pictures.loadAtStartup(folders.dataFile("imageconfig.xml"), folders.programFile("DefaultImage.dat"),
                               folders.programFolder());
        bitmapFonts.loadFolder(folders.programFolder() / "Font", platform::ansiCodePage());
        encoder.setLanguageName(language.name());
        encoder.setFontList(makeFontList(fontCatalog.families(), bitmapFonts));
        encoder.setPictures(pictures.records());
        encoder.applyTexts();
    }
};

int imageCommand(const std::vector<std::string>& args) {
    std::string project, screenName, output;
    bool named = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--screen" || args[i] == "-o") {
            if (i + 1 >= args.size()) return usage(args[i] + " needs a value");
            const bool isScreen = args[i] == "--screen";
            (isScreen ? screenName : output) = args[i + 1];
            named |= isScreen;
            ++i;
        } else if (!args[i].empty() && args[i][0] == '-' && args[i] != "-") {
            return usage("unknown option '" + args[i] + "' for image");
        } else if (project.empty()) {
            project = args[i];
        } else {
            return usage("image takes one project file");
        }
    }
    if (project.empty()) return usage("image needs a project file");

    std::vector<ProjectFile::LoadedScreen> screens;
    if (!ProjectFile::read(project, screens)) return fail("cannot read the project file " + project);
    if (screens.empty()) return fail(project + " holds no screen");
    const ProjectFile::LoadedScreen* chosen = &screens.front();
    if (named) {
        chosen = nullptr;
        const std::u16string wanted = platform::utf8ToUtf16(screenName);
        for (const auto& s : screens)
            if (platform::equalsNoCase(s.screen.name, wanted)) {
                chosen = &s;
                break;
            }
        if (!chosen) return fail("no screen named '" + screenName + "' in " + project);
    }
    ScreenRecord screen = chosen->screen;
    // The keys a project gets when it is opened: the file's order, at most ten.
    ProgramKey key = programKey(1, 1);
    for (const ProgramRecord& p : chosen->programs) {
        if (screen.programs.size() == 10) break;
        screen.programs[key++] = p;
    }

    Session session;
    const DeviceImage::Built built = DeviceImage::build(screen, session.settings.playMode, session.settings.tempOffset,
                                                        false, 0, session.encoder, session.programEncoder);
    if (built.bytes.empty()) return fail("no checked program of the screen shows anything");
    if (output.empty() || output == "-") {
        std::fwrite(built.bytes.data(), 1, built.bytes.size(), stdout);
        return std::fflush(stdout) == 0 ? 0 : fail("cannot write to standard output");
    }
    std::string error;
    if (!platform::saveFileSafely(output, built.bytes, &error)) return fail("cannot write " + error);
    std::fprintf(stderr, "%zu bytes, %zu program%s, written to %s\n", built.bytes.size(), built.names.size(),
                 built.names.size() == 1 ? "" : "s", output.c_str());
    return 0;
}

int explainCommand(const std::vector<std::string>& args) {
    if (args.size() != 1) return usage("explain takes one device image file");
    const auto bytes = args[0] == "-" ? std::optional<std::string>(std::string(std::istreambuf_iterator<char>(std::cin), {}))
                                      : readBytes(args[0]);
    if (!bytes) return fail("cannot read " + args[0]);
    const bool sound = explainDeviceImage(*bytes, std::cout);
    std::cout.flush();
    return sound ? 0 : 1;
}

// Qt draws the text; without a display it draws offscreen.
void chooseQtPlatform() {
    const auto set = [](const char* name) {
        const char* v = std::getenv(name);
        return v && *v;
    };
    if (!set("QT_QPA_PLATFORM") && !set("DISPLAY") && !set("WAYLAND_DISPLAY")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return usage("a command is needed");
    const std::string command = args.front();
    args.erase(args.begin());
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command == "--version") {
        std::printf("zentari-cli %s\n", ZENTARI_VERSION);
        return 0;
    }
    if (command != "image" && command != "explain") return usage("unknown command '" + command + "'");

    if (command == "explain") return explainCommand(args);
    chooseQtPlatform();
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QGuiApplication app(qtArgc, qtArgv);
    return imageCommand(args);
}
