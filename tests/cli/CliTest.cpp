// zentari-cli as a user runs it: on a project file of the test's own.
#include "device/DeviceImageReader.h"
#include "preview/ImageBuilder.h"
#include "project/Project.h"
#include "project/ProjectFile.h"
#include "support/GifWriter.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <cstdio>
#include <map>
#include <string>

namespace {

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::writeFile;

struct Result {
    int status;
    std::string out;
};

class Cli : public ::testing::Test {
protected:
    Result run(const std::string& arguments, const std::string& environment = {}) {
        const std::string command = environment + "XDG_DATA_HOME='" + (dir / "data").string() +
                                    "' ZENTARI_PROGRAM_DIR='" + ZENTARI_PROGRAM_DIR +
                                    "' QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 '" + ZENTARI_CLI +
                                    "' " + arguments + " 2>'" + (dir / "err.txt").string() + "'";
        Result r{-1, {}};
        if (FILE* p = ::popen(command.c_str(), "r")) {
            char buf[4096];
            for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
                r.out.append(buf, n);
            const int s = ::pclose(p);
            r.status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
        }
        return r;
    }
    std::string err() const { return readFile(dir / "err.txt"); }
    std::string project() {
        return writeFile(
                   dir / "show.vqd",
                   "<QV><SCREEN width=\"48\" height=\"12\" name=\"Front\">"
                   "<Program name=\"a\" checked=\"TRUE\"><Item name=\"TextContent\">Hi</Item><Item "
                   "name=\"Color1\">255</Item>"
                   "<Item name=\"Font\">QVSimsun</Item><Item name=\"Effect\">3</Item></Program>"
                   "<Program name=\"b\" checked=\"FALSE\"><Item "
                   "name=\"TextContent\">off</Item></Program>"
                   "</SCREEN><SCREEN width=\"36\" height=\"11\" name=\"Side\">"
                   "<Program name=\"c\" checked=\"TRUE\"><Item name=\"TextContent\">[FF]</Item>"
                   "<Item name=\"Color1\">255</Item></Program>"
                   "</SCREEN></QV>")
            .string();
    }
    testing_support::TempDir dir;
};

TEST_F(Cli, ImageOfTheFirstOrANamedScreen) {
    const std::string file = project();
    const Result first = run("image '" + file + "' -o '" + (dir / "front.bin").string() + "'");
    ASSERT_EQ(first.status, 0) << err();
    const auto front = DeviceImageReader::read(readFile(dir / "front.bin"));
    EXPECT_EQ(front.problem, "");
    EXPECT_EQ(front.width, 48);
    ASSERT_EQ(front.records.size(), 1u);  // the unchecked program is left out
    EXPECT_EQ(front.records[0].effect, 3);

    // To standard output, a screen named without regard to case.
    const Result side = run("image '" + file + "' --screen SIDE");
    ASSERT_EQ(side.status, 0) << err();
    const auto image = DeviceImageReader::read(side.out);
    EXPECT_EQ(image.problem, "");
    EXPECT_EQ(image.width, 36);
    EXPECT_EQ(image.height, 11);
    ASSERT_EQ(image.records.size(), 1u);
    EXPECT_TRUE(image.records[0].hasTemperature);
    EXPECT_EQ(image.records[0].temperature.unit, 1);
}

// A project as the window saves it: every setting written by the program editor.
TEST_F(Cli, AProjectSavedByTheWindow) {
    Project project;
    ScreenRecord screen;
    screen.width = 48;
    screen.height = 12;
    screen.name = u"Shop";
    const ScreenId id = project.addScreen(screen);
    ProgramRecord p;
    p.name = u"Welcome";
    p.settings = {{u"Border", u"2"},        {u"BorderSpeed", u"4"},
                  {u"Color1", u"255"},      {u"Color2", u"0"},
                  {u"Effect", u"0"},        {u"Flicker", u"0"},
                  {u"Font", u"QVSimsun"},   {u"FontBold", u"0"},
                  {u"FontItatic", u"0"},    {u"FontSize", u"12"},
                  {u"FontUnderline", u"0"}, {u"Select", u"1"},
                  {u"Speed", u"4"},         {u"StopTime", u"3"},
                  {u"TempIndex", u"0"},     {u"TextContent", u"Open [FE]"},
                  {u"UseTemp", u"1"}};
    project.addProgram(id, p);
    ASSERT_TRUE(ProjectFile::write(project, dir / "saved.vqd"));
    const Result r = run("image '" + (dir / "saved.vqd").string() + "' --screen shop");
    ASSERT_EQ(r.status, 0) << err();
    const auto image = DeviceImageReader::read(r.out);
    EXPECT_EQ(image.problem, "");
    ASSERT_EQ(image.records.size(), 1u);
    EXPECT_EQ(image.records[0].border, 2);
    EXPECT_TRUE(image.records[0].hasTemperature);
}

TEST_F(Cli, ExplainPrintsFieldsAndPages) {
    const std::string file = project();
    ASSERT_EQ(run("image '" + file + "' -o '" + (dir / "img.bin").string() + "'").status, 0)
        << err();
    const Result r = run("explain '" + (dir / "img.bin").string() + "'");
    EXPECT_EQ(r.status, 0) << err();
    EXPECT_NE(r.out.find("width code                1 (48 columns)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("effect                    3 (move left)"), std::string::npos);
    EXPECT_NE(r.out.find("Page 1\n"), std::string::npos);
    EXPECT_NE(r.out.find('#'), std::string::npos);
    EXPECT_NE(r.out.find("Digit font block"), std::string::npos);
    // A damaged image: explained as far as it goes, the first problem named, status 1.
    std::string bytes = readFile(dir / "img.bin");
    writeFile(dir / "cut.bin", bytes.substr(0, 120));
    const Result cut = run("explain '" + (dir / "cut.bin").string() + "'");
    EXPECT_EQ(cut.status, 1);
    EXPECT_NE(cut.out.find("Header\n"), std::string::npos);
    EXPECT_NE(cut.out.find("Problem: "), std::string::npos);

    // Given the project, the same as its image explained; a named screen too.
    EXPECT_EQ(run("explain '" + file + "'").out, r.out);
    ASSERT_EQ(
        run("image '" + file + "' --screen Side -o '" + (dir / "side.bin").string() + "'").status,
        0);
    const Result side = run("explain '" + file + "' --screen Side");
    EXPECT_EQ(side.status, 0) << err();
    EXPECT_EQ(side.out, run("explain '" + (dir / "side.bin").string() + "'").out);
    EXPECT_NE(side.out.find("(36 columns)"), std::string::npos);
}

TEST_F(Cli, FailuresSayWhatWentWrong) {
    struct Case {
        std::string arguments;
        int status;
        std::string message;
    };
    const std::string file = project();
    writeFile(dir / "empty.vqd", "<QV/>");
    writeFile(dir / "damaged.vqd", "<QV><SCREEN width=\"48\" height=\"12\" name=\"a\">");
    writeFile(dir / "huge.vqd",
              "<QV><SCREEN width=\"100000\" height=\"100000\" name=\"a\"><Program name=\"p\" "
              "checked=\"TRUE\"><Item name=\"TextContent\">Hi</Item></Program></SCREEN></QV>");
    writeFile(dir / "long.vqd",
              "<QV><SCREEN width=\"48\" height=\"12\" name=\"a\"><Program name=\"p\" "
              "checked=\"TRUE\" PitchOffSet=\"100000\"><Item name=\"TextContent\">Hi</Item>"
              "</Program></SCREEN></QV>");
    const Case cases[] = {
        {"", 64, "a command is needed"},
        {"frobnicate", 64, "unknown command 'frobnicate'"},
        {"image", 64, "image needs a project file"},
        {"image a b", 64, "image takes one project file"},
        {"image '" + file + "' --screen", 64, "--screen needs a value"},
        {"image '" + file + "' --bogus", 64, "unknown option '--bogus'"},
        {"query --virtual-sign 48", 64, "'48' is not a sign size"},
        {"query --virtual-sign 256x12", 64, "'256x12' is not a sign size"},
        {"query --virtual-sign", 64, "--virtual-sign needs a value"},
        {"test 5 --virtual-sign 48x12", 64, "'5' is not a test pattern"},
        {"test 0x1 --virtual-sign 48x12", 64, "'0x1' is not a test pattern"},
        {"command 256 --virtual-sign 48x12", 64, "'256' is not a command byte"},
        {"command --virtual-sign 48x12", 64, "command takes one value"},
        {"send --virtual-sign 48x12", 64, "send needs a project file"},
        {"send '" + file + "' --screen Nope --virtual-sign 48x12", 8, "no screen named 'Nope'"},
        {"image '" + file + "' --screen Nope", 1, "no screen named 'Nope'"},
        {"image '" + (dir / "missing.vqd").string() + "'", 1,
         "missing.vqd: No such file or directory"},
        {"image '" + (dir / "damaged.vqd").string() + "'", 1,
         "damaged.vqd: not a well-formed project file"},
        // A screen no sign can be, and a line longer than an image holds: refused, not drawn.
        {"image '" + (dir / "huge.vqd").string() + "'", 4, "The content is too large for the sign"},
        {"image '" + (dir / "long.vqd").string() + "'", 4, "The content is too large for the sign"},
        {"send '" + (dir / "long.vqd").string() + "' --virtual-sign 48x12", 4,
         "The content is too large for the sign"},
        {"image '" + (dir / "empty.vqd").string() + "'", 1, "holds no screen"},
        {"image '" + file + "' -o '" + (dir / "no/such/dir.bin").string() + "'", 1, "cannot write"},
        {"explain", 64, "explain takes one device image file"},
        {"explain '" + (dir / "missing.bin").string() + "'", 1, "cannot read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const Result r = run(c.arguments);
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(err().find(c.message), std::string::npos) << err();
    }
    const Result help = run("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("image PROJECT.vqd"), std::string::npos);
    EXPECT_NE(help.out.find("explain [--animations] FILE"), std::string::npos);
    EXPECT_NE(help.out.find("send PROJECT.vqd"), std::string::npos);
}

TEST_F(Cli, SendingToVirtualSigns) {
    const std::string file = project();
    struct Case {
        std::string arguments;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {"send '" + file + "' --virtual-sign 48x12", 0, "sent "},
        {"send '" + file + "' --screen side --virtual-sign 48x12", 6,
         "does not match the size of the sign"},
        {"send '" + file + "' --screen side --virtual-sign 36x11", 0, "sent "},
        {"query --virtual-sign 80x16 --virtual-sign 48x12", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const Result r = run(c.arguments);
        EXPECT_EQ(r.status, c.status) << err();
        EXPECT_NE(err().find(c.message), std::string::npos) << err();
    }
    // The first sign answers the query.
    EXPECT_EQ(run("query --virtual-sign 80x16 --virtual-sign 48x12").out, "80x16\n");

    // Nothing checked: the sign is asked, nothing else happens.
    writeFile(
        dir / "off.vqd",
        "<QV><SCREEN width=\"48\" height=\"12\" name=\"Off\"><Program name=\"a\" checked=\"FALSE\">"
        "<Item name=\"TextContent\">x</Item></Program></SCREEN></QV>");
    const std::string log = (dir / "reports.txt").string();
    const Result off = run("send '" + (dir / "off.vqd").string() +
                           "' --virtual-sign 48x12 --report-log '" + log + "'");
    EXPECT_EQ(off.status, 7);
    EXPECT_NE(err().find("nothing to send"), std::string::npos);
    // One report: the query 0x30 of kind 3, checksum 0x00DD.
    EXPECT_EQ(readFile(log),
              "00515600010001000103"
              "30" +
                  std::string(102, '0') + "00ddaa\n");

    // The image that went out is the one `image` writes.
    ASSERT_EQ(run("send '" + file + "' --virtual-sign 48x12 --report-log '" + log + "'").status, 0);
    ASSERT_EQ(run("image '" + file + "' -o '" + (dir / "front.bin").string() + "'").status, 0);
    const std::string image = readFile(dir / "front.bin");
    std::string logged = readFile(log);
    std::vector<std::string> lines;
    for (size_t at = 0; at < logged.size();) {
        size_t end = logged.find('\n', at);
        lines.push_back(logged.substr(at, end - at));
        at = end + 1;
    }
    ASSERT_EQ(lines.size(),
              1 + 1 + (image.size() + 51) / 52);  // the first run's query, then query and image
    std::string sent;
    for (size_t k = 2; k < lines.size(); ++k) {
        ASSERT_EQ(lines[k].size(), 130u);
        for (size_t b = 0; b < 52; ++b)
            sent += static_cast<char>(std::stoi(lines[k].substr(20 + 2 * b, 2), nullptr, 16));
    }
    EXPECT_EQ(sent.substr(0, image.size()), image);

    // No sign at all (there is none on a build machine): status 1 and the English text.
    const Result none = run("query");
    if (none.status != 0) {
        EXPECT_EQ(none.status, 1);
        EXPECT_NE(err().find("No sign was found"), std::string::npos) << err();
    }
}

// The block a virtual sign's report log holds: the payloads of its reports in
// order, each packet's 52 bytes after the 9 header bytes behind the report id.
std::string payloadsOf(const std::string& log, size_t* reports = nullptr) {
    std::string out;
    size_t count = 0;
    for (size_t at = 0; at < log.size(); ++count) {
        const size_t end = log.find('\n', at);
        const std::string line = log.substr(at, end - at);
        at = end == std::string::npos ? log.size() : end + 1;
        if (line.size() != 130) return "bad line: " + line;
        for (size_t b = 0; b < 52; ++b)
            out += static_cast<char>(std::stoi(line.substr(20 + 2 * b, 2), nullptr, 16));
    }
    if (reports) *reports = count;
    return out;
}

TEST_F(Cli, BatchSendsToEverySignAndSaysHowEachFared) {
    const fs::path fixture = fs::path(ZENTARI_FIXTURES) / "images" / "several-pages";
    const std::string expected = readFile(fixture / "expected.bin");
    const std::string logs = (dir / "sign%n.log").string();
    const Result r = run("batch '" + (fixture / "project.vqd").string() +
                         "' --virtual-sign 48x12 --virtual-sign 48x12:status=0:2 "
                         "--virtual-sign 48x12:delay=3 --report-log '" +
                         logs + "'");
    EXPECT_EQ(r.status, 3) << err();
    const size_t packets = (expected.size() + 51) / 52;
    for (int sign : {1, 3}) {
        SCOPED_TRACE(sign);
        size_t reports = 0;
        const std::string sent =
            payloadsOf(readFile(dir / ("sign" + std::to_string(sign) + ".log")), &reports);
        EXPECT_EQ(reports, packets);
        EXPECT_TRUE(sent.substr(0, expected.size()) == expected);
        EXPECT_EQ(sent.substr(expected.size()), std::string(packets * 52 - expected.size(), '\0'));
    }
    // The refusing sign: its first packet twice, then given up.
    size_t refused = 0;
    payloadsOf(readFile(dir / "sign2.log"), &refused);
    EXPECT_EQ(refused, 2u);
    const std::string total = std::to_string(packets);
    EXPECT_NE(r.out.find("1  USB[1]  Long  " + total + "/" + total + "  OK\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("2  USB[2]  Long  0/" + total + "  "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("3  USB[3]  Long  " + total + "/" + total + "  OK\n"), std::string::npos)
        << r.out;

    // Several screens go to the signs in order, the last one repeating; no
    // sign at all is status 1.
    const std::string file = project();
    const Result two = run("batch '" + file +
                           "' --screen side --screen FRONT --virtual-sign 36x11 --virtual-sign "
                           "48x12 --virtual-sign 48x12:port=none");
    EXPECT_EQ(two.status, 0) << err();
    EXPECT_NE(two.out.find("1  USB[1]  Side  "), std::string::npos) << two.out;
    EXPECT_NE(two.out.find("2  USB[2]  Front  "), std::string::npos) << two.out;
    EXPECT_NE(two.out.find("3  USB[FF]  Front  "), std::string::npos) << two.out;
    EXPECT_EQ(run("batch '" + file + "' --screen nowhere --virtual-sign 48x12").status, 8);
    // A build machine has no sign on USB.
    const Result none = run("batch '" + file + "'");
    if (none.status != 0) {
        EXPECT_EQ(none.status, 1) << err();
    }
}

TEST_F(Cli, AnimationSetsWrittenExplainedAndSent) {
    // 12 × 12, two frames: the top-left LED, then the bottom-right one.
    std::vector<uint8_t> first(144, 0), second(144, 0);
    first[0] = 1;
    second[143] = 1;
    writeFile(dir / "dot.gif", testing_support::gif(12, 12, {first, second}, {0x000000, 0xFF0000}));
    writeFile(dir / "junk.gif", "not a picture");
    const Result r = run("animations --gif '" + (dir / "junk.gif").string() + "' --gif '" +
                         (dir / "dot.gif").string() + "' -o '" + (dir / "set.bin").string() + "'");
    ASSERT_EQ(r.status, 0) << err();
    std::string expected = {1, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 12, 0, 48, 2, 0, 0};
    std::string frames(48, '\xFF');
    frames[0] = '\x7F';             // frame 0, band 0, row 0: column 0
    frames[24 + 12 + 11] = '\xEF';  // frame 1, band 1, row 11: column 11 is bit 4
    EXPECT_EQ(readFile(dir / "set.bin"), expected + frames);

    const Result explained = run("explain --animations '" + (dir / "set.bin").string() + "'");
    EXPECT_EQ(explained.status, 0);
    EXPECT_NE(explained.out.find("    #...........\n"), std::string::npos) << explained.out;
    EXPECT_NE(explained.out.find("    ...........#\n"), std::string::npos) << explained.out;
    EXPECT_EQ(run("explain --animations '" + (dir / "junk.gif").string() + "'").status, 1);

    // The library (the shipped one at the first run) to two virtual signs at once.
    const std::string log = (dir / "anim%n.log").string();
    const Result sent =
        run("send-animations --batch --virtual-sign 48x12 --virtual-sign 48x12 "
            "--report-log '" +
            log + "'");
    EXPECT_EQ(sent.status, 0) << err();
    for (int sign : {1, 2}) {
        const std::string lines = readFile(dir / ("anim" + std::to_string(sign) + ".log"));
        ASSERT_GE(lines.size(), 20u);
        EXPECT_EQ(lines.substr(18, 2), "02");  // report byte 9: the kind
    }
}

TEST_F(Cli, PlayRecordsWhatTheEmulatedSignShows) {
    // One program shown at once for a second: every fifth column lit, on a 48 × 12 sign.
    testimage::Program p;
    p.effect = 0;
    p.stop = 1;
    p.columns = 48;
    p.pages = testimage::pagesOf(48, 12, 1, [](int x, int) { return x % 5 == 0; });
    const auto image = testimage::image(1, 1, {p});
    writeFile(dir / "sign.bin", std::string(image.begin(), image.end()));
    writeFile(dir / "none.set", "");
    const Result r = run("play '" + (dir / "sign.bin").string() + "' --animations '" +
                         (dir / "none.set").string() + "' --seconds 1 --dump --gif '" +
                         (dir / "sign.gif").string() + "'");
    ASSERT_EQ(r.status, 0) << err();
    std::string row;
    for (int x = 0; x < 48; ++x)
        row += x % 5 == 0 ? '#' : '.';
    std::string expected = "@0 program 0 page 0\n";
    for (int y = 0; y < 12; ++y)
        expected += row + "\n";
    // The program stands for its second: no other step within it.
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(readFile(dir / "sign.gif").substr(0, 6), "GIF89a");
    // Nothing to play: a screen whose programs show nothing.
    writeFile(dir / "short.bin", std::string(40, '\0'));
    EXPECT_EQ(run("play '" + (dir / "short.bin").string() + "'").status, 7);
}

// The kind of every report in a virtual sign's log (report byte 9).
std::string kindsIn(const std::string& log) {
    std::string kinds;
    for (size_t at = 0; at + 20 <= log.size(); at = log.find('\n', at) + 1) {
        kinds += log.substr(at + 18, 2);
        if (log.find('\n', at) == std::string::npos) break;
    }
    return kinds;
}

TEST_F(Cli, FirmwareWaitsForTheSignThenSendsTheFile) {
    std::string file(53, '\0');
    for (size_t k = 0; k < file.size(); ++k)
        file[k] = static_cast<char>(k * 5 + 1);
    writeFile(dir / "NT03.bin", file);
    const std::string log = (dir / "fw.log").string();
    // Not ready at the first request, ready 4 s later: then the file, in two packets.
    const Result r = run("firmware '" + (dir / "NT03.bin").string() +
                         "' --virtual-sign 48x12:firmware=later:1 --report-log '" + log + "'");
    EXPECT_EQ(r.status, 0) << err();
    EXPECT_EQ(kindsIn(readFile(log)), "05050606");
    EXPECT_EQ(payloadsOf(readFile(log)).substr(104, 53), file);
}

// "say" lays the text out as a project holding the same program would be, at each sign's size.
TEST_F(Cli, SayPutsOneLineOnTheSign) {
    const std::string options =
        "'Hi [FE]' --font QVSimsun --color red --effect 3 --speed 5 --stop 3";
    // The same size and the same pages as the project's image; the speed and stop
    // time are the editor's defaults, which a project file without them does not have.
    const auto expectSame = [&](const std::string& received, const std::string& image) {
        writeFile(dir / "said.bin", received);
        writeFile(dir / "project.bin", image);
        const std::string saidText = run("explain '" + (dir / "said.bin").string() + "'").out;
        const std::string projectText = run("explain '" + (dir / "project.bin").string() + "'").out;
        ASSERT_NE(saidText.find("Page 1\n"), std::string::npos) << saidText;
        EXPECT_EQ(saidText.substr(saidText.find("Page 1\n")),
                  projectText.substr(projectText.find("Page 1\n")));
        EXPECT_EQ(received.substr(0, 100), image.substr(0, 100));  // the header
    };
    std::map<std::string, std::string> images;
    for (const auto& [w, h] : {std::pair{48, 12}, std::pair{36, 11}}) {
        const std::string size = std::to_string(w) + "x" + std::to_string(h);
        SCOPED_TRACE(size);
        writeFile(dir / "say.vqd", "<QV><SCREEN width=\"" + std::to_string(w) + "\" height=\"" +
                                       std::to_string(h) +
                                       "\" name=\"s\"><Program name=\"a\" checked=\"TRUE\">"
                                       "<Item name=\"TextContent\">Hi [FE]</Item>"
                                       "<Item name=\"Font\">QVSimsun</Item>"
                                       "<Item name=\"Color1\">255</Item>"
                                       "<Item name=\"Effect\">3</Item></Program></SCREEN></QV>");
        const Result image = run("image '" + (dir / "say.vqd").string() + "'");
        ASSERT_EQ(image.status, 0) << err();
        const std::string log = (dir / ("say" + size + ".log")).string();
        images[size] = image.out;
        const Result said =
            run("say " + options + " --virtual-sign " + size + " --report-log '" + log + "'");
        ASSERT_EQ(said.status, 0) << err();
        EXPECT_NE(err().find("sent " + std::to_string(image.out.size()) + " bytes"),
                  std::string::npos)
            << err();
        // Two size queries, then the image.
        EXPECT_EQ(kindsIn(readFile(log)).substr(0, 6), "030300");
        expectSame(payloadsOf(readFile(log)).substr(104, image.out.size()), image.out);
    }
    // Every sign at once, each asked for its size and given the text laid out for it.
    const Result all =
        run("say " + options + " --all --virtual-sign 48x12 --virtual-sign 36x11 --report-log '" +
            (dir / "all%n.log").string() + "'");
    ASSERT_EQ(all.status, 0) << err();
    int sign = 0;
    for (const std::string size : {"48x12", "36x11"}) {
        SCOPED_TRACE(size);
        const std::string n = std::to_string(++sign);
        const std::string log = readFile(dir / ("all" + n + ".log"));
        EXPECT_EQ(kindsIn(log).substr(0, 4), "0300");
        // The size query's packet, then the image.
        expectSame(payloadsOf(log).substr(52, images[size].size()), images[size]);
        EXPECT_NE(all.out.find(n + "  USB[" + n + "]  " + size + "  "), std::string::npos)
            << all.out;
    }
    // A sign that does not answer the size query gets nothing, and says so.
    const Result mute = run("say Hi --all --virtual-sign 48x12 --virtual-sign 36x11:status=3:1");
    EXPECT_EQ(mute.status, 3) << err();
    EXPECT_NE(mute.out.find("nothing sent: the sign did not tell its size"), std::string::npos)
        << mute.out;

    const Result wrong = run("say Hi --virtual-sign 36x11 --size-of-sign 48x12");
    EXPECT_EQ(wrong.status, 6);
    EXPECT_EQ(run("say Hi --virtual-sign 36x11 --effect 99").status, 1);
    EXPECT_NE(err().find("no effect 99"), std::string::npos);
    EXPECT_EQ(run("say --virtual-sign 36x11").status, 64);
}

// Every picture shipped in the default library lights LEDs on a red 12-row
// sign: a picture in colours the sign does not light would show nothing.
TEST_F(Cli, EveryDefaultPictureLightsOnTheSign) {
    const std::string library = readFile(fs::path(ZENTARI_PROGRAM_DIR) / "DefaultImage.dat");
    std::vector<std::string> ids;
    const std::string tag = "<Item name=\"nValueID\">";
    for (size_t at = library.find(tag); at != std::string::npos; at = library.find(tag, at + 1))
        ids.push_back(
            library.substr(at + tag.size(), library.find('<', at + tag.size()) - at - tag.size()));
    ASSERT_EQ(ids.size(), 8u);
    for (const std::string& id : ids) {
        SCOPED_TRACE(id);
        writeFile(dir / "picture.vqd",
                  "<QV><SCREEN width=\"48\" height=\"12\" name=\"s\"><Program name=\"a\" "
                  "checked=\"TRUE\"><Item name=\"TextContent\">[" +
                      id + "]</Item></Program></SCREEN></QV>");
        const Result image = run("image '" + (dir / "picture.vqd").string() + "'");
        ASSERT_EQ(image.status, 0) << err();
        writeFile(dir / "picture.bin", image.out);
        const std::string shown = run("explain '" + (dir / "picture.bin").string() + "'").out;
        const size_t page = shown.find("Page 1\n");
        ASSERT_NE(page, std::string::npos) << shown;
        const std::string rows = shown.substr(page, shown.find("block", page) - page);
        EXPECT_NE(rows.find('#'), std::string::npos) << shown;
    }
}

// A sign whose chip only the flash tool writes: the firmware goes into the chip
// folder, whose script runs vornload on the simulated chip.
TEST_F(Cli, FirmwareForTheFlashToolIsWrittenIntoTheChip) {
    std::string firmware(3000, '\0');
    for (size_t k = 0; k < firmware.size(); ++k)
        firmware[k] = static_cast<char>(k * 7 + 3);
    writeFile(dir / "fw" / "nt03.BIN", firmware);
    // The board's boot program comes from its maker: the user puts it into the chip folder.
    std::string boot(10000, '\0');
    for (size_t k = 0; k < boot.size(); ++k)
        boot[k] = static_cast<char>(k % 251);
    writeFile(dir / "data" / "Zentari" / "QK510" / "uboot.boot", boot);
    const std::string log = (dir / "fw.log").string();
    const fs::path chip = dir / "chip.bin";
    const Result r =
        run("firmware '" + (dir / "fw" / "nt03.BIN").string() +
                "' --virtual-sign 48x12:firmware=flashtool --report-log '" + log + "'",
            "VORNLOAD_SIM=nor,state='" + chip.string() + "' TMPDIR='" + dir.path().string() + "' ");
    EXPECT_EQ(r.status, 0) << err() << r.out;
    // Only the firmware request went to the sign.
    EXPECT_EQ(kindsIn(readFile(log)), "05");
    const fs::path folder = dir / "data" / "Zentari" / "QK510";
    EXPECT_EQ(readFile(folder / "sdram.app"), firmware);
    EXPECT_EQ(readFile(folder / "uboot.boot"), boot);
    EXPECT_TRUE(fs::exists(folder / "r_makebin.sh"));
    EXPECT_NE(r.out.find("write file to Flash ok"), std::string::npos) << r.out;
    // The shipped board: boot at 512, zone at 0x3000 (16 KiB), find record at 0x7000,
    // the firmware as the application at 0x7200.
    const std::string flash = readFile(chip);
    ASSERT_GE(flash.size(), 0x7200u + firmware.size());
    EXPECT_EQ(flash.substr(512, boot.size()), boot);
    EXPECT_EQ(flash.substr(0x3000, 0x4000), std::string(0x4000, '\xFF'));
    EXPECT_EQ(flash.substr(0x7200, firmware.size()), firmware);

    // Any other file name is refused before anything is copied.
    writeFile(dir / "fw" / "NT03.bin.bak", firmware);
    const Result refused = run("firmware '" + (dir / "fw" / "NT03.bin.bak").string() +
                               "' --virtual-sign 48x12:firmware=flashtool");
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(err().find("not a valid firmware file"), std::string::npos) << err();
}

// Every test project's image as zentari-cli writes it, kept byte for byte: one
// folder per case with the project, the expected image (its fields checked by
// hand against the format when it was committed) and, when the image is not of
// the first screen, the screen's name in screen.txt.
TEST_F(Cli, TheImagesOfTheTestProjectsStayByteForByte) {
    const fs::path cases = fs::path(ZENTARI_FIXTURES) / "images";
    size_t checked = 0;
    for (const auto& entry : fs::directory_iterator(cases)) {
        if (!entry.is_directory()) continue;
        SCOPED_TRACE(entry.path().filename().string());
        std::string arguments = "image '" + (entry.path() / "project.vqd").string() + "'";
        if (fs::exists(entry.path() / "screen.txt")) {
            std::string screen = readFile(entry.path() / "screen.txt");
            while (!screen.empty() && (screen.back() == '\n' || screen.back() == '\r'))
                screen.pop_back();
            arguments += " --screen '" + screen + "'";
        }
        const Result r = run(arguments);
        ASSERT_EQ(r.status, 0) << err();
        const std::string expected = readFile(entry.path() / "expected.bin");
        EXPECT_EQ(r.out.size(), expected.size());
        EXPECT_TRUE(r.out == expected) << "the image differs from expected.bin";
        ++checked;
    }
    EXPECT_GE(checked, 7u);
}

}  // namespace
