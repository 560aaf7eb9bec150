// zentari-cli: the program's core without a window.
#include "app/AppContext.h"
#include "app/AppFolders.h"
#include "app/AppSettings.h"
#include "app/SignCommands.h"
#include "app/SignOptions.h"
#include "assets/AnimationLibrary.h"
#include "assets/AnimationSet.h"
#include "cli/BatchCommand.h"
#include "cli/Explain.h"
#include "cli/FirmwareCommand.h"
#include "cli/PlayCommand.h"
#include "cli/SignSession.h"
#include "cli/UpdateCommand.h"
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

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
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
    "  explain [--animations] FILE\n"
    "  explain PROJECT.vqd [--screen NAME]\n"
    "      Print every field of a device image, its records, animation tables and\n"
    "      temperature blocks, and each page as rows of '#' (lit) and '.' (dark).\n"
    "      Given a project file, the image of its screen (chosen as for image).\n"
    "      A damaged image is explained as far as it is sound, and its first\n"
    "      problem is named. With --animations FILE is an animation set: its\n"
    "      header, offsets and every frame of every animation.\n"
    "  animations [--height H] [--gif FILE]... [-o FILE]\n"
    "      Write the animation set of the animation library (or of the given GIF\n"
    "      files, in order) for a screen of H rows (1-127, default 12) to FILE or\n"
    "      to standard output.\n"
    "  send-animations [--batch] [--height H]\n"
    "      Send the animation library's set to the sign, or with --batch to every\n"
    "      attached sign at once; a set of 22528 bytes or more is refused.\n"
    "  query\n"
    "      Print the sign's size as WIDTHxHEIGHT.\n"
    "  send PROJECT.vqd [--screen NAME]\n"
    "      Put a screen of the project (chosen as for image) on the sign, as the\n"
    "      window's Send does: the sign must have the screen's size, and an image\n"
    "      of more than 30720 bytes is refused.\n"
    "  say TEXT [--font NAME] [--size N] [--bold] [--effect N] [--speed N] [--stop S]\n"
    "      [--border N] [--flicker] [--color red|black] [--size-of-sign WxH] [--all]\n"
    "      Put one line of text on the sign: a screen with one program is made on\n"
    "      the fly at the sign's own size (or WxH) and sent as send does. Bracket\n"
    "      codes work in TEXT (\"[FE]\" the temperature, \"[50]\" a picture); the\n"
    "      numbers are the values of the editor's lists. Exit status as send.\n"
    "      With --all every attached sign gets the text at its own size, at once\n"
    "      as batch sends, with batch's lines and exit status.\n"
    "  batch PROJECT.vqd [--screen NAME]...\n"
    "      Send to every attached sign at once, as the window's Batch send does. One\n"
    "      --screen gives every sign that screen (the first screen when none is\n"
    "      named); several go to the signs in order, the last one repeating. Prints\n"
    "      one line per sign: its key, Id, screen, packets acknowledged of all and\n"
    "      its result.\n"
    "  play PROJECT.vqd|IMAGE [--screen NAME] [--program N] [--seconds S]\n"
    "       [--animations FILE] [--temperature T] [--seed N] [--dump] [--dump-frames]\n"
    "       [--gif FILE] [--png FILE]\n"
    "      Play a screen (or a device image file) on the emulated sign for S seconds\n"
    "      (default 10) of virtual time, which takes no time: --program N plays\n"
    "      the N-th program of the screen alone; the animation set is the library's\n"
    "      unless --animations names one; T is the reading in degrees Celsius\n"
    "      (default 16 + the temperature correction); --seed fixes the random\n"
    "      border. --dump prints every step as \"@MS program P page G\" and the\n"
    "      sign's rows ('#' lit, '.' dark); --dump-frames every frame that\n"
    "      differs from the one before; --gif writes the frames as the preview\n"
    "      window shows them, --png the last one.\n"
    "  firmware FILE.bin\n"
    "      Update the sign's firmware: ask the sign, ask again every 4 s while it is\n"
    "      not ready (five times at most), then send the file. When the sign's chip\n"
    "      must be written with the flash tool instead, FILE (named NT03.bin) goes\n"
    "      into the chip folder QK510 of the data folder as sdram.app and its script\n"
    "      r_makebin.sh runs vornload; the exit status is the script's (9 when the\n"
    "      program folder has no chip folder).\n"
    "  batch-firmware FILE.bin [--software FILE] [--auto SECONDS]\n"
    "      Update every attached sign at once; --software also copies FILE onto\n"
    "      each sign's own removable disk (emptied first); --auto keeps watching\n"
    "      for signs plugged in for that long and updates each once.\n"
    "  test PATTERN\n"
    "      Show a test pattern: 0 leave test mode, 1 all LEDs off, 2 all LEDs on,\n"
    "      3 and 4 diagonal lines.\n"
    "  command BYTE\n"
    "      Send one command byte (0-255, or 0x00-0xff).\n"
    "  update-check [--url URL] [--download]\n"
    "      Ask the update server whether a newer version exists, as Help > Update\n"
    "      does, printing what the window would show; --download answers yes and\n"
    "      stores the release file in the data folder's DownLoads. Exit status 0:\n"
    "      this is the latest version or the file was stored; 2: a newer version was\n"
    "      not downloaded; 1: the check or the download failed. The server's\n"
    "      address comes from $ZENTARI_UPDATE_URL, else the build's.\n"
    "  --help, help        this text\n"
    "  --version           the program's version\n"
    "\n"
    "Options of query, send, say, batch, send-animations, firmware, batch-firmware,\n"
    "test and command:\n";

// After the sign options.
constexpr const char* kUsageEnd =
    "\n"
    "The program folder, the data folder, the settings (play mode, temperature\n"
    "correction, language), the picture library and the fonts are those the\n"
    "window uses.\n"
    "\n"
    "Exit status: 0 success; for image and explain 1 when the work failed; for\n"
    "the sign commands the sign's result: 1 no sign found, 2 the sign could not\n"
    "be opened, 3 the sign did not answer, 4 the image is too long, 6 the sign's\n"
    "size is not the screen's, 7 nothing to send (no checked program shows\n"
    "anything), 8 the project could not be used; for batch 0 when every sign\n"
    "got everything, 1 no sign found, 3 some sign did not, 8 the project could\n"
    "not be used; 64 for a wrong command line.\n";

constexpr int kExitUsage = 64;
constexpr int kExitSizeMismatch = 6;
constexpr int kExitNothingToSend = 7;
constexpr int kExitBadProject = 8;

int fail(const std::string& message, int status = 1) {
    std::fprintf(stderr, "zentari-cli: %s\n", message.c_str());
    return status;
}

int usage(const std::string& message) {
    std::fprintf(stderr, "zentari-cli: %s\nTry 'zentari-cli --help'.\n", message.c_str());
    return kExitUsage;
}

std::optional<std::string> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The window's start-up, without the window: settings, language, pictures, fonts.
struct Session {
    platform::QtFontCatalog fontCatalog;
    platform::QtImageCodec images;
    platform::QtTextRenderer text{fontCatalog};
    AppContext context{images, fontCatalog, text, AppFolders::fromEnvironment()};

    Session() {
        context.startUp(platform::languageIdForLocale(QLocale::system().name().toStdString()));
    }

    // Every checked program, with the settings the window would use.
    DeviceImage::Built image(const ScreenRecord& screen) {
        const AppSettings& settings = context.settings();
        return DeviceImage::buildScreen(screen, settings.playMode, settings.tempOffset, false, 0,
                                        context.encoding());
    }
};

// The named (or first) screen of a project file with its programs keyed as
// opening the project keys them; false after saying why.
bool loadScreen(const std::string& project, const std::string* screenName, ScreenRecord& screen) {
    std::vector<ProjectFile::LoadedScreen> screens;
    std::string error;
    if (!ProjectFile::read(project, screens, &error))
        return fail("cannot read the project file " + error), false;
    if (screens.empty()) return fail(project + " holds no screen"), false;
    const ProjectFile::LoadedScreen* chosen = &screens.front();
    if (screenName) {
        chosen = nullptr;
        const std::u16string wanted = platform::utf8ToUtf16(*screenName);
        for (const auto& s : screens)
            if (platform::equalsNoCase(s.screen.name, wanted)) {
                chosen = &s;
                break;
            }
        if (!chosen) return fail("no screen named '" + *screenName + "' in " + project), false;
    }
    screen = screenWithPrograms(*chosen);
    return true;
}

// Takes "--screen NAME", "-o FILE" when `output` is given, and one project file.
int projectArguments(const std::string& command, const std::vector<std::string>& args,
                     std::string& project, std::optional<std::string>& screenName,
                     std::string* output = nullptr) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--screen" || (output && args[i] == "-o")) {
            if (i + 1 >= args.size()) return usage(args[i] + " needs a value");
            if (args[i] == "--screen")
                screenName = args[i + 1];
            else
                *output = args[i + 1];
            ++i;
        } else if (!args[i].empty() && args[i][0] == '-' && args[i] != "-") {
            return usage("unknown option '" + args[i] + "' for " + command);
        } else if (project.empty()) {
            project = args[i];
        } else {
            return usage(command + " takes one project file");
        }
    }
    if (project.empty()) return usage(command + " needs a project file");
    return 0;
}

// The shipped English texts, which the command line's messages use.
const LanguageTable& english() {
    static const LanguageTable table = [] {
        LanguageTable t;
        t.findLanguages(AppFolders::fromEnvironment().programFolder());
        t.loadByName(u"English");
        return t;
    }();
    return table;
}

// A sign result as the window words it, in English.
int reportResult(int code) {
    if (code == 0) return 0;
    const std::u16string text = SignCommands::resultText(code, english());
    std::fprintf(stderr, "zentari-cli: %s\n", platform::utf16ToUtf8(text).c_str());
    return code;
}

void printSummary(const SignSession& sign) {
    for (const auto& line : sign.virtualSignSummary())
        std::fprintf(stderr, "%s\n", line.c_str());
}

// What a send of a screen came to, said as the window would, with its exit status.
int reportSend(const SignSession& sign, const SignCommands::SendOutcome& out,
               const ScreenRecord& screen, const char* nothingShown) {
    printSummary(sign);
    using Step = SignCommands::SendOutcome::Step;
    switch (out.step) {
        case Step::QueryFailed:
        case Step::TooLong:
            return reportResult(out.code);
        case Step::SizeMismatch:
            std::fprintf(stderr, "zentari-cli: %s (the sign is %dx%d, the screen %dx%d)\n",
                         platform::utf16ToUtf8(english().text(u"NoSend_msg")).c_str(),
                         sign.signWidth(), sign.signHeight(), screen.width, screen.height);
            return kExitSizeMismatch;
        case Step::NothingToSend:
            std::fprintf(stderr, "zentari-cli: nothing to send: %s\n", nothingShown);
            return kExitNothingToSend;
        case Step::Sent:
            if (out.code) return reportResult(out.code);
            std::fprintf(stderr, "sent %zu bytes\n", out.imageBytes);
            return 0;
    }
    return 1;
}

// What "say" puts into its one program.
struct SayArguments {
    std::string text;
    std::optional<std::string> font;
    std::optional<long> size, effect, speed, stop, border;
    bool bold = false;
    bool flicker = false;
    bool all = false;
    std::optional<std::string> color;
    int width = 0, height = 0;  // 0: the sign's own size
};

// Takes the options of "say"; 0, or the status after saying what was wrong.
int sayArguments(const std::vector<std::string>& args, SayArguments& a) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& o = args[i];
        const auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size()) return std::nullopt;
            return args[++i];
        };
        const auto number = [&](std::optional<long>& into) {
            const auto v = value();
            char* end = nullptr;
            const long n = v ? std::strtol(v->c_str(), &end, 10) : 0;
            if (!v || v->empty() || *end != '\0' || n < 0 || n > 100000)
                return usage(o + " needs a number");
            into = n;
            return 0;
        };
        int status = 0;
        if (o == "--font") {
            a.font = value();
            if (!a.font) status = usage("--font needs a name");
        } else if (o == "--size") {
            status = number(a.size);
        } else if (o == "--effect") {
            status = number(a.effect);
        } else if (o == "--speed") {
            status = number(a.speed);
        } else if (o == "--stop") {
            status = number(a.stop);
        } else if (o == "--border") {
            status = number(a.border);
        } else if (o == "--bold") {
            a.bold = true;
        } else if (o == "--flicker") {
            a.flicker = true;
        } else if (o == "--all") {
            a.all = true;
        } else if (o == "--color") {
            a.color = value();
            if (!a.color || (*a.color != "red" && *a.color != "black"))
                status = usage("--color takes red or black");
        } else if (o == "--size-of-sign") {
            const auto v = value();
            if (!v || std::sscanf(v->c_str(), "%dx%d", &a.width, &a.height) != 2 || a.width < 1 ||
                a.width > 255 || a.height < 1 || a.height > 127)
                status = usage("--size-of-sign needs WxH (at most 255x127)");
        } else if (!o.empty() && o[0] == '-' && o != "-") {
            status = usage("unknown option '" + o + "' for say");
        } else if (a.text.empty()) {
            a.text = o;
        } else {
            status = usage("say takes one text (quote it)");
        }
        if (status) return status;
    }
    if (a.text.empty()) return usage("say needs a text");
    return 0;
}

// The entry of `list` whose value is `value`; -1 for none.
int positionOf(const CDlgProgram::List& list, long value) {
    for (size_t i = 0; i < list.entries.size(); ++i)
        if (list.entries[i].value == value) return static_cast<int>(i);
    return -1;
}

// One program of the text on a screen of the given size, as the editor makes it.
std::optional<ScreenRecord> sayScreen(Session& session, const SayArguments& a, int width,
                                      int height) {
    CDlgProgram editor(CDlgProgram::Instance::Encoder, session.context.language());
    editor.setLanguageName(session.context.settings().languageName);
    editor.setFontList(session.context.encoding().snapshot()->inputs.fontList);
    editor.setScreenSize(width, height);
    editor.resetToDefaults();
    editor.setText(platform::utf8ToUtf16(a.text));
    const auto pick = [](const CDlgProgram::List& list, const std::optional<long>& v,
                         const char* what) -> std::optional<int> {
        if (!v) return -2;
        const int at = positionOf(list, *v);
        if (at < 0) return fail(std::string("no ") + what + " " + std::to_string(*v)), std::nullopt;
        return at;
    };
    if (a.font) {
        const std::u16string wanted = platform::utf8ToUtf16(*a.font);
        int found = -1;
        for (size_t i = 0; i < editor.fonts().size(); ++i)
            if (platform::equalsNoCase(editor.fonts()[i].name, wanted)) found = static_cast<int>(i);
        if (found < 0) return fail("no font named '" + *a.font + "'"), std::nullopt;
        editor.selectFont(found);
    }
    const auto size = pick(editor.fontSizes(), a.size, "font size");
    if (!size) return std::nullopt;
    if (*size >= 0) editor.selectFontSize(*size);
    editor.setBold(a.bold);
    const auto effect = pick(editor.effects(), a.effect, "effect");
    if (!effect) return std::nullopt;
    if (*effect >= 0) editor.selectEffect(*effect);
    const auto speed = pick(editor.speeds(), a.speed, "speed");
    if (!speed) return std::nullopt;
    if (*speed >= 0) editor.selectSpeed(*speed);
    const auto stop = pick(editor.stopTimes(), a.stop, "stop time");
    if (!stop) return std::nullopt;
    if (*stop >= 0) editor.selectStopTime(*stop);
    const auto border = pick(editor.borders(), a.border, "border");
    if (!border) return std::nullopt;
    if (*border >= 0) editor.selectBorder(*border);
    editor.setFlicker(a.flicker);
    if (a.color) editor.selectTextColor(*a.color == "red" ? 0 : 1);
    ScreenRecord screen;
    screen.width = width;
    screen.height = height;
    screen.name = u"say";
    ProgramRecord program;
    program.name = u"say";
    editor.commit(program);
    program.checked = 1;
    screen.programs[programKey(1, 1)] = program;
    return screen;
}

int sayCommand(SignSession& sign, const SignOptions& options,
               const std::vector<std::string>& args) {
    SayArguments a;
    if (int status = sayArguments(args, a)) return status;
    if (a.all) {
        Session session;
        std::optional<std::pair<int, int>> fixed;
        if (a.width) fixed.emplace(a.width, a.height);
        return runBatchSized(
            options, fixed, [&](int w, int h) { return sayScreen(session, a, w, h); },
            [&](const ScreenRecord& screen) { return session.image(screen); }, english());
    }
    std::string error;
    if (!sign.open(options, error)) return fail(error);
    int width = a.width, height = a.height;
    if (width == 0) {
        const uint8_t query[] = {0x30};
        if (int code = sign.transfer(query, signlink::KIND_GEOMETRY_QUERY, nullptr))
            return reportResult(code);
        width = sign.signWidth();
        height = sign.signHeight();
    }
    Session session;
    std::optional<ScreenRecord> screen = sayScreen(session, a, width, height);
    if (!screen) return 1;
    const SignCommands::SendOutcome out =
        SignCommands::sendScreen(sign, &*screen, [&] { return session.image(*screen); });
    return reportSend(sign, out, *screen, "the text shows nothing");
}

int signCommand(const std::string& command, std::vector<std::string> args) {
    SignOptions options;
    std::string error;
    if (!options.take(args, error)) return usage(error);
    SignSession sign;

    if (command == "query") {
        if (!args.empty()) return usage("query takes no arguments");
        if (!sign.open(options, error)) return fail(error);
        const uint8_t query[] = {0x30};
        if (int code = sign.transfer(query, signlink::KIND_GEOMETRY_QUERY, nullptr))
            return reportResult(code);
        std::printf("%dx%d\n", sign.signWidth(), sign.signHeight());
        return 0;
    }
    if (command == "test" || command == "command") {
        if (args.size() != 1) return usage(command + " takes one value");
        const std::string& v = args[0];
        char* end = nullptr;
        const bool hex = v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X');
        const long value = v.empty() ? -1 : std::strtol(v.c_str(), &end, hex ? 16 : 10);
        const long top = command == "test" ? 4 : 255;
        if (v.empty() || *end != '\0' || value < 0 || value > top || (command == "test" && hex))
            return usage("'" + v + "' is not a " +
                         (command == "test" ? "test pattern (0-4)" : "command byte (0-255)"));
        if (!sign.open(options, error)) return fail(error);
        const uint8_t block[] = {static_cast<uint8_t>(value)};
        const int code = sign.transfer(
            block, command == "test" ? signlink::KIND_TEST_PATTERN : signlink::KIND_COMMAND_BYTE,
            nullptr);
        printSummary(sign);
        return reportResult(code);
    }

    if (command == "firmware") {
        if (args.size() != 1) return usage("firmware takes one firmware file");
        return runFirmware(options, args[0], AppFolders::fromEnvironment(), english());
    }
    if (command == "batch-firmware") {
        std::string file, software;
        long seconds = 0;
        for (size_t i = 0; i < args.size(); ++i) {
            if ((args[i] == "--software" || args[i] == "--auto") && i + 1 < args.size()) {
                if (args[i] == "--software") {
                    software = args[++i];
                    continue;
                }
                char* end = nullptr;
                seconds = std::strtol(args[++i].c_str(), &end, 10);
                if (*end != '\0' || seconds < 1 || seconds > 86400)
                    return usage("--auto takes 1 to 86400 seconds");
            } else if (!args[i].empty() && args[i][0] == '-') {
                return usage("unknown option '" + args[i] + "' for batch-firmware");
            } else if (file.empty()) {
                file = args[i];
            } else {
                return usage("batch-firmware takes one firmware file");
            }
        }
        if (file.empty()) return usage("batch-firmware needs a firmware file");
        return runBatchFirmware(options, file, software, static_cast<int>(seconds), english());
    }
    if (command == "batch") {
        BatchArguments batch;
        batch.signs = options;
        for (size_t i = 0; i < args.size(); ++i) {
            if (args[i] == "--screen") {
                if (i + 1 >= args.size()) return usage("--screen needs a value");
                batch.screens.push_back(args[++i]);
            } else if (!args[i].empty() && args[i][0] == '-') {
                return usage("unknown option '" + args[i] + "' for batch");
            } else if (batch.project.empty()) {
                batch.project = args[i];
            } else {
                return usage("batch takes one project file");
            }
        }
        if (batch.project.empty()) return usage("batch needs a project file");
        Session session;
        return runBatch(
            batch, [&](const ScreenRecord& screen) { return session.image(screen); }, english());
    }

    if (command == "say") return sayCommand(sign, options, args);

    // send
    std::string project;
    std::optional<std::string> screenName;
    if (int status = projectArguments("send", args, project, screenName)) return status;
    ScreenRecord screen;
    if (!loadScreen(project, screenName ? &*screenName : nullptr, screen)) return kExitBadProject;
    if (!sign.open(options, error)) return fail(error);
    Session session;
    const SignCommands::SendOutcome out =
        SignCommands::sendScreen(sign, &screen, [&] { return session.image(screen); });
    return reportSend(sign, out, screen, "no checked program of the screen shows anything");
}

int imageCommand(const std::vector<std::string>& args) {
    std::string project, output;
    std::optional<std::string> screenName;
    if (int status = projectArguments("image", args, project, screenName, &output)) return status;

    ScreenRecord screen;
    if (!loadScreen(project, screenName ? &*screenName : nullptr, screen)) return 1;

    Session session;
    const DeviceImage::Built built = session.image(screen);
    // What a sign could never take is not written either.
    if (built.tooLong || built.bytes.size() > DeviceImage::kMaxSendLength)
        return reportResult(SignCommands::RESULT_IMAGE_TOO_LONG);
    if (built.bytes.empty()) return fail("no checked program of the screen shows anything");
    if (output.empty() || output == "-") {
        std::fwrite(built.bytes.data(), 1, built.bytes.size(), stdout);
        return std::fflush(stdout) == 0 ? 0 : fail("cannot write to standard output");
    }
    std::string error;
    if (!platform::saveFileSafely(output, built.bytes, &error))
        return fail("cannot write " + error);
    std::fprintf(stderr, "%zu bytes, %zu program%s, written to %s\n", built.bytes.size(),
                 built.names.size(), built.names.size() == 1 ? "" : "s", output.c_str());
    return 0;
}

// A project file (or --screen) rather than a device image: its screen's image is explained.
bool explainsProject(const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (a == "--screen") return true;
        if (a.empty() || a[0] == '-') continue;
        std::string ext = std::filesystem::path(a).extension().string();
        for (char& c : ext)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ext == ".vqd" || ext == ".xml") return true;
        std::ifstream in(a, std::ios::binary);
        char first = 0;
        while (in.get(first) && std::isspace(static_cast<unsigned char>(first))) {
        }
        // Device images begin with their width and height codes, never with '<'.
        return in && first == '<';
    }
    return false;
}

int explainProjectCommand(const std::vector<std::string>& args) {
    std::string project;
    std::optional<std::string> screenName;
    if (int status = projectArguments("explain", args, project, screenName)) return status;
    ScreenRecord screen;
    if (!loadScreen(project, screenName ? &*screenName : nullptr, screen)) return 1;
    Session session;
    const DeviceImage::Built built = session.image(screen);
    if (built.bytes.empty()) return fail("no checked program of the screen shows anything");
    const std::string bytes(built.bytes.begin(), built.bytes.end());
    const bool sound = explainDeviceImage(bytes, std::cout);
    std::cout.flush();
    return sound ? 0 : 1;
}

int explainCommand(std::vector<std::string> args) {
    const bool animations = !args.empty() && args[0] == "--animations";
    if (animations) args.erase(args.begin());
    if (args.size() != 1) return usage("explain takes one device image file");
    const auto bytes =
        args[0] == "-"
            ? std::optional<std::string>(std::string(std::istreambuf_iterator<char>(std::cin), {}))
            : readBytes(args[0]);
    if (!bytes) return fail("cannot read " + args[0]);
    const bool sound =
        animations ? explainAnimationSet(*bytes, std::cout) : explainDeviceImage(*bytes, std::cout);
    std::cout.flush();
    return sound ? 0 : 1;
}

// "--height H" for the animation commands; false after saying why.
bool takeHeight(std::vector<std::string>& args, int& height, int& status) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "--height") continue;
        char* end = nullptr;
        const long h = i + 1 < args.size() ? std::strtol(args[i + 1].c_str(), &end, 10) : 0;
        if (i + 1 >= args.size() || *end != '\0' || h < 1 || h > 127) {
            status = usage("--height needs a number of rows from 1 to 127");
            return false;
        }
        height = static_cast<int>(h);
        args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
        --i;
    }
    return true;
}

std::vector<uint8_t> librarySet(Session& session, int height) {
    const AppFolders& folders = session.context.folders();
    return AnimationSet::build(AnimationLibrary::paths(AnimationLibrary::load(
                                   folders.dataFolder(), folders.programFolder())),
                               height, session.images);
}

int animationsCommand(std::vector<std::string> args) {
    int height = 12, status = 0;
    if (!takeHeight(args, height, status)) return status;
    std::vector<std::u16string> gifs;
    std::string output;
    for (size_t i = 0; i < args.size(); ++i) {
        if ((args[i] == "--gif" || args[i] == "-o") && i + 1 < args.size()) {
            if (args[i] == "--gif")
                gifs.push_back(std::filesystem::absolute(args[i + 1]).u16string());
            else
                output = args[i + 1];
            ++i;
        } else {
            return usage("'" + args[i] + "' is not an option of animations");
        }
    }
    Session session;
    const std::vector<uint8_t> set = gifs.empty()
                                         ? librarySet(session, height)
                                         : AnimationSet::build(gifs, height, session.images);
    const std::string bytes(set.begin(), set.end());
    if (output.empty() || output == "-") {
        std::fwrite(bytes.data(), 1, bytes.size(), stdout);
        return std::fflush(stdout) == 0 ? 0 : fail("cannot write to standard output");
    }
    std::string error;
    if (!platform::saveFileSafely(output, bytes, &error)) return fail("cannot write " + error);
    std::fprintf(stderr, "%zu bytes, %u animation%s, written to %s\n", bytes.size(),
                 set.size() > 4 ? set[4] : 0u, set.size() > 4 && set[4] == 1 ? "" : "s",
                 output.c_str());
    return 0;
}

int playCommand(std::vector<std::string> args) {
    PlayOptions play;
    std::string file, screenName, animations;
    long program = 0;
    bool temperatureGiven = false;
    auto number = [](const std::string& text, long low, long high, long& out) {
        char* end = nullptr;
        out = std::strtol(text.c_str(), &end, 10);
        return !text.empty() && *end == '\0' && out >= low && out <= high;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--dump") {
            play.dump = true;
        } else if (a == "--dump-frames") {
            play.dumpFrames = true;
        } else if (a == "--screen" || a == "--program" || a == "--seconds" || a == "--animations" ||
                   a == "--temperature" || a == "--seed" || a == "--gif" || a == "--png") {
            if (i + 1 >= args.size()) return usage(a + " needs a value");
            const std::string& v = args[++i];
            long n = 0;
            if (a == "--screen") {
                screenName = v;
            } else if (a == "--animations") {
                animations = v;
            } else if (a == "--gif") {
                play.gif = v;
            } else if (a == "--png") {
                play.png = v;
            } else if (a == "--program") {
                if (!number(v, 1, 10, program)) return usage("--program takes 1 to 10");
            } else if (a == "--seconds") {
                if (!number(v, 1, 3600, n)) return usage("--seconds takes 1 to 3600");
                play.milliseconds = static_cast<int>(n) * 1000;
            } else if (a == "--temperature") {
                if (!number(v, -99, 99, n)) return usage("--temperature takes -99 to 99");
                play.temperature = static_cast<int>(n);
                temperatureGiven = true;
            } else {
                if (!number(v, 1, 2147483647, n)) return usage("--seed takes a positive number");
                play.seed = static_cast<uint32_t>(n);
            }
        } else if (!a.empty() && a[0] == '-') {
            return usage("unknown option '" + a + "' for play");
        } else if (file.empty()) {
            file = a;
        } else {
            return usage("play takes one project or image file");
        }
    }
    if (file.empty()) return usage("play needs a project or a device image file");
    const auto bytes = readBytes(file);
    if (!bytes) return fail("cannot read " + file);

    Session session;
    if (!temperatureGiven) play.temperature = 16 + session.context.settings().tempOffset;
    std::vector<uint8_t> image;
    std::vector<std::u16string> names;
    int height = 12;
    // A project is XML; anything else is taken as a device image.
    const size_t first = bytes->find_first_not_of(" \t\r\n\xEF\xBB\xBF");
    if (first != std::string::npos && (*bytes)[first] == '<') {
        ScreenRecord screen;
        if (!loadScreen(file, screenName.empty() ? nullptr : &screenName, screen))
            return kExitBadProject;
        if (program > static_cast<long>(screen.programs.size()))
            return fail("the screen has " + std::to_string(screen.programs.size()) + " programs",
                        kExitUsage);
        const AppSettings& settings = session.context.settings();
        const DeviceImage::Built built =
            DeviceImage::buildScreen(screen, settings.playMode, settings.tempOffset, program != 0,
                                     program ? programKey(1, static_cast<uint16_t>(program)) : 0,
                                     session.context.encoding());
        image.assign(built.bytes.begin(), built.bytes.end());
        names = built.names;
        height = screen.height;
    } else {
        image.assign(bytes->begin(), bytes->end());
        if (image.size() > 1) height = DeviceImage::heightOfCode(image[1]);
    }
    std::vector<uint8_t> set;
    if (!animations.empty()) {
        const auto setBytes = readBytes(animations);
        if (!setBytes) return fail("cannot read " + animations);
        set.assign(setBytes->begin(), setBytes->end());
    } else {
        set = librarySet(session, height);
    }
    return runPlay(std::move(image), std::move(set), names, play, session.images);
}

int sendAnimationsCommand(std::vector<std::string> args) {
    SignOptions options;
    std::string error;
    if (!options.take(args, error)) return usage(error);
    int height = 12, status = 0;
    if (!takeHeight(args, height, status)) return status;
    bool toAll = false;
    for (const std::string& arg : args) {
        if (arg != "--batch") return usage("'" + arg + "' is not an option of send-animations");
        toAll = true;
    }
    Session session;
    std::vector<uint8_t> set = librarySet(session, height);
    if (set.size() >= AnimationSet::kMaxLength)
        return reportResult(SignCommands::RESULT_ANIMATIONS_TOO_LONG);
    if (set.empty()) {
        std::fprintf(stderr, "zentari-cli: the animation library is empty\n");
        return kExitNothingToSend;
    }
    if (toAll) return runBatchPrepared(options, std::move(set), english());
    SignSession sign;
    if (!sign.open(options, error)) return fail(error);
    const int code = sign.transfer(set, signlink::KIND_ANIMATION_SET, nullptr);
    printSummary(sign);
    if (code == 0) std::fprintf(stderr, "sent %zu bytes\n", set.size());
    return reportResult(code);
}

// Qt draws the text; without a display it draws offscreen.
void chooseQtPlatform() {
    const auto set = [](const char* name) {
        const char* v = std::getenv(name);
        return v && *v;
    };
    if (!set("QT_QPA_PLATFORM") && !set("DISPLAY") && !set("WAYLAND_DISPLAY"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return usage("a command is needed");
    const std::string command = args.front();
    args.erase(args.begin());
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        std::fputs(SignOptions::kHelp, stdout);
        std::fputs(kUsageEnd, stdout);
        return 0;
    }
    if (command == "--version") {
        std::printf("zentari-cli %s\n", ZENTARI_VERSION);
        return 0;
    }
    const bool signCommand_ = command == "query" || command == "send" || command == "say" ||
                              command == "batch" || command == "test" || command == "command" ||
                              command == "firmware" || command == "batch-firmware";
    const bool animationCommand =
        command == "animations" || command == "send-animations" || command == "play";
    if (command != "image" && command != "explain" && command != "update-check" && !signCommand_ &&
        !animationCommand)
        return usage("unknown command '" + command + "'");

    if (command == "explain" && !explainsProject(args)) return explainCommand(args);
    if (command == "update-check") return updateCheckCommand(args, english());
    // Only drawing text needs Qt.
    if (command == "query" || command == "test" || command == "command" || command == "firmware" ||
        command == "batch-firmware")
        return signCommand(command, std::move(args));
    chooseQtPlatform();
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QGuiApplication app(qtArgc, qtArgv);
    if (signCommand_) return signCommand(command, std::move(args));
    if (command == "animations") return animationsCommand(std::move(args));
    if (command == "send-animations") return sendAnimationsCommand(std::move(args));
    if (command == "play") return playCommand(std::move(args));
    if (command == "explain") return explainProjectCommand(args);
    return imageCommand(args);
}
