// Runs the built qvfmake and checks what it writes: the file layout byte for
// byte, and every glyph bit against FreeType's own rendering of the source.

#include "content/BitmapFontLibrary.h"
#include "platform/Bitmap.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

extern char** environ;

namespace {

using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

constexpr uint32_t kInk = 0xFFFF0000u;
constexpr uint32_t kBlank = 0xFF000000u;

struct RunResult {
    bool exited = false;  // false: killed by a signal, i.e. a crash
    int code = -1;
    std::string output;  // stdout and stderr together
};

RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& stdoutFile = {}) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    int fds[2];
    if (::pipe(fds) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutFile.empty())
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, stdoutFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    RunResult run;
    char buf[4096];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
        run.output.append(buf, n);
    ::close(fds[0]);
    if (spawned != 0) return run;
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.exited = WIFEXITED(status);
    run.code = run.exited ? WEXITSTATUS(status) : -1;
    return run;
}

RunResult qvfmake(const std::vector<std::string>& args) {
    return runProgram(QVFMAKE_PATH, args);
}

// The source font as FreeType itself renders it, placed by the tool's rule:
// pen at the cell's left edge, moved right for a negative bearing and left
// when the bitmap would stick out on the right; the baseline under `baseline`
// rows; the rest cut off.
class FreeTypeReference {
public:
    FreeTypeReference() { FT_Init_FreeType(&m_library); }
    ~FreeTypeReference() {
        if (m_face) FT_Done_Face(m_face);
        FT_Done_FreeType(m_library);
    }

    bool open(const std::string& path, int faceIndex, int size) {
        if (FT_New_Face(m_library, path.c_str(), faceIndex, &m_face) != 0) return false;
        if (FT_IS_SCALABLE(m_face)) return FT_Set_Pixel_Sizes(m_face, 0, size) == 0;
        for (int i = 0; i < m_face->num_fixed_sizes; ++i)
            if ((m_face->available_sizes[i].y_ppem + 32) / 64 == size)
                return FT_Select_Size(m_face, i) == 0;
        return false;
    }

    int ascender() const { return static_cast<int>((m_face->size->metrics.ascender + 32) >> 6); }
    bool maps(char32_t c) const { return FT_Get_Char_Index(m_face, c) != 0; }

    std::vector<std::string> rows(char32_t c, int cell, int baseline) const {
        std::vector<std::string> out(cell, std::string(cell, '.'));
        if (FT_Load_Char(m_face, c, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0) return {};
        const FT_GlyphSlot g = m_face->glyph;
        EXPECT_EQ(g->bitmap.pixel_mode, FT_PIXEL_MODE_MONO);
        const int w = static_cast<int>(g->bitmap.width);
        const int x0 = std::clamp(g->bitmap_left, 0, std::max(0, cell - w));
        for (int r = 0; r < static_cast<int>(g->bitmap.rows); ++r)
            for (int x = 0; x < w; ++x) {
                const int cx = x0 + x, cy = baseline - g->bitmap_top + r;
                if (cx < cell && cy >= 0 && cy < cell &&
                    (g->bitmap.buffer[r * g->bitmap.pitch + x / 8] >> (7 - x % 8) & 1))
                    out[cy][cx] = '#';
            }
        return out;
    }

    // Code points 1..U+FFFF outside the surrogates that the font maps, of
    // [first, last] ranges; all of them without ranges.
    size_t countMapped(const std::vector<std::pair<char32_t, char32_t>>& ranges) const {
        size_t n = 0;
        auto storable = [](char32_t c) {
            return c >= 1 && c <= 0xFFFF && (c < 0xD800 || c > 0xDFFF);
        };
        if (ranges.empty()) {
            FT_UInt index = 0;
            for (FT_ULong c = FT_Get_First_Char(m_face, &index); index != 0;
                 c = FT_Get_Next_Char(m_face, c, &index))
                n += storable(static_cast<char32_t>(c));
            return n;
        }
        std::set<char32_t> seen;
        for (auto [a, b] : ranges)
            for (char32_t c = a; c <= b; ++c)
                if (storable(c) && maps(c)) seen.insert(c);
        return seen.size();
    }

private:
    FT_Library m_library = nullptr;
    FT_Face m_face = nullptr;
};

std::vector<std::string> loadedRows(const BitmapFontLibrary& lib, int font, char16_t unit) {
    const int cell = lib.fonts()[font].cell;
    platform::Bitmap bmp(cell, cell);
    if (lib.drawGlyph(font, unit, &bmp, kInk, kBlank) == 0) return {};
    std::vector<std::string> out(cell, std::string(cell, '.'));
    for (int y = 0; y < cell; ++y)
        for (int x = 0; x < cell; ++x)
            if (bmp.pixel(x, y) == kInk) out[y][x] = '#';
    return out;
}

bool hasInk(const std::vector<std::string>& rows) {
    for (const std::string& r : rows)
        if (r.find('#') != std::string::npos) return true;
    return false;
}

uint32_t u32At(const std::string& b, size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) << 24 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 8 |
           static_cast<uint8_t>(b[at + 3]);
}

std::vector<std::string> filesIn(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// Latin, the degree sign, general punctuation, CJK punctuation, some of the
// ideographs and 文 alone, full-width forms.
const std::string kChars =
    "0x20-0x7E,0xB0,0x2000-0x206F,0x3000-0x303F,0x4E00-0x4FFF,U+6587,0xFF00-0xFFEF";
const std::vector<std::pair<char32_t, char32_t>> kCharRanges = {
    {0x20, 0x7E},     {0xB0, 0xB0},     {0x2000, 0x206F}, {0x3000, 0x303F},
    {0x4E00, 0x4FFF}, {0x6587, 0x6587}, {0xFF00, 0xFFEF}};
const char32_t kProbes[] = {U'A',  U'g',  U'0',  U'W', U'j', U'@',  U'°', U'中',
                            U'文', U'、', U'。', U'“', U'—', U'！', U'Ａ'};

struct SourceCase {
    const char* label;
    const char* font;
    int faceIndex;
    int size;
    int cell;
    std::optional<int> baseline;
};

void PrintTo(const SourceCase& c, std::ostream* os) {
    *os << c.label;
}

class QvfmakeGlyphs : public testing::TestWithParam<SourceCase> {};

TEST_P(QvfmakeGlyphs, EveryBitIsWhatFreeTypeRenders) {
    const SourceCase& c = GetParam();
    TempDir dir;
    const std::string out = dir / "out.qvf";
    const std::string name = (std::string("T ") + c.label).substr(0, 19);
    std::vector<std::string> args = {"-o",
                                     out,
                                     c.font,
                                     "--size",
                                     std::to_string(c.size),
                                     "--name",
                                     name,
                                     "--cell",
                                     std::to_string(c.cell),
                                     "--chars",
                                     kChars};
    if (c.baseline) args.insert(args.end(), {"--baseline", std::to_string(*c.baseline)});
    if (c.faceIndex) args.insert(args.end(), {"--face-index", std::to_string(c.faceIndex)});
    const RunResult run = qvfmake(args);
    ASSERT_TRUE(run.exited && run.code == 0) << run.output;

    FreeTypeReference ref;
    ASSERT_TRUE(ref.open(c.font, c.faceIndex, c.size));
    const int baseline = c.baseline ? *c.baseline : std::clamp(ref.ascender(), 0, c.cell);

    BitmapFontLibrary lib;
    ASSERT_TRUE(lib.addFile(readFile(out), 1252));
    ASSERT_EQ(lib.fonts().size(), 1u);
    const BitmapFont& font = lib.fonts()[0];
    EXPECT_EQ(font.name, std::u16string(name.begin(), name.end()));
    EXPECT_EQ(font.cell, c.cell);
    const size_t units = ref.countMapped(kCharRanges);
    EXPECT_EQ(font.codeUnits.size(), units);

    for (char32_t cp : kProbes) {
        SCOPED_TRACE(testing::Message() << "U+" << std::hex << static_cast<unsigned>(cp));
        if (!ref.maps(cp)) {
            EXPECT_EQ(lib.glyphNumber(0, static_cast<char16_t>(cp)), 0);
            continue;
        }
        EXPECT_EQ(loadedRows(lib, 0, static_cast<char16_t>(cp)), ref.rows(cp, c.cell, baseline));
    }
    // A space draws as a glyph, so the program does not look for it in another font.
    EXPECT_NE(lib.glyphNumber(0, u' '), 0);
    EXPECT_FALSE(hasInk(loadedRows(lib, 0, u' ')));
    // Mapped by every source, but not asked for.
    EXPECT_EQ(lib.glyphNumber(0, u'é'), 0);

    EXPECT_NE(run.output.find("\"" + name + "\": cell " + std::to_string(c.cell)),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find(std::to_string(units) + " characters"), std::string::npos)
        << run.output;
}

INSTANTIATE_TEST_SUITE_P(
    Sources, QvfmakeGlyphs,
    testing::Values(SourceCase{"pcf16", FONT_WQY_16PX, 0, 16, 16, 14},
                    SourceCase{"pcf12_ascender", FONT_WQY_12PX, 0, 12, 12, std::nullopt},
                    SourceCase{"pcf12_cell11", FONT_WQY_12PX, 0, 12, 11, 10},
                    SourceCase{"pcf16_cell20", FONT_WQY_16PX, 0, 16, 20, 17},
                    SourceCase{"pcf16_cell7", FONT_WQY_16PX, 0, 16, 7, 7},
                    SourceCase{"ttc_face0", FONT_ZENHEI, 0, 16, 16, 13},
                    SourceCase{"ttc_mono_cell9", FONT_ZENHEI, 1, 12, 9, 8},
                    SourceCase{"ttc_sharp_ascender", FONT_ZENHEI, 2, 16, 16, std::nullopt}),
    [](const testing::TestParamInfo<SourceCase>& p) { return std::string(p.param.label); });

TEST(Qvfmake, AllTakesEveryCodePointTheFontMaps) {
    TempDir dir;
    const std::string out = dir / "all.qvf";
    const RunResult run = qvfmake({"-o", out, FONT_WQY_12PX, "--size", "12", "--name", "All",
                                   "--baseline", "10", "--chars", "all"});
    ASSERT_TRUE(run.exited && run.code == 0) << run.output;
    FreeTypeReference ref;
    ASSERT_TRUE(ref.open(FONT_WQY_12PX, 0, 12));
    BitmapFontLibrary lib;
    ASSERT_TRUE(lib.addFile(readFile(out), 1252));
    ASSERT_EQ(lib.fonts().size(), 1u);
    EXPECT_EQ(lib.fonts()[0].codeUnits.size(), ref.countMapped({}));
    for (char32_t cp : {U'é', U'龍', U'あ', U'→'}) {
        SCOPED_TRACE(static_cast<unsigned>(cp));
        ASSERT_TRUE(ref.maps(cp));
        EXPECT_EQ(loadedRows(lib, 0, static_cast<char16_t>(cp)), ref.rows(cp, 12, 10));
    }
}

// An 8-pixel BDF whose placement in the cell is worked out by hand: a glyph
// with a negative bearing, one wider than the cell, one that would stick out
// on the right, one below the cell.
const char kBdf[] = R"(STARTFONT 2.1
FONT -qvtest-hand-medium-r-normal--8-80-72-72-c-80-iso10646-1
SIZE 8 72 72
FONTBOUNDINGBOX 11 10 -1 -3
STARTPROPERTIES 5
PIXEL_SIZE 8
FONT_ASCENT 7
FONT_DESCENT 1
CHARSET_REGISTRY "ISO10646"
CHARSET_ENCODING "1"
ENDPROPERTIES
CHARS 7
STARTCHAR space
ENCODING 32
SWIDTH 500 0
DWIDTH 4 0
BBX 1 1 0 0
BITMAP
00
ENDCHAR
STARTCHAR A
ENCODING 65
SWIDTH 750 0
DWIDTH 6 0
BBX 5 7 0 0
BITMAP
20
50
88
88
F8
88
88
ENDCHAR
STARTCHAR W
ENCODING 87
SWIDTH 1000 0
DWIDTH 11 0
BBX 10 7 0 0
BITMAP
8040
8040
8C40
9240
A140
C0C0
8040
ENDCHAR
STARTCHAR asciicircum
ENCODING 94
SWIDTH 1000 0
DWIDTH 9 0
BBX 5 3 4 4
BITMAP
20
50
88
ENDCHAR
STARTCHAR underscore
ENCODING 95
SWIDTH 750 0
DWIDTH 6 0
BBX 6 1 0 -3
BITMAP
FC
ENDCHAR
STARTCHAR j
ENCODING 106
SWIDTH 500 0
DWIDTH 3 0
BBX 3 8 -1 -2
BITMAP
20
00
60
20
20
20
A0
40
ENDCHAR
STARTCHAR uni4E2D
ENCODING 20013
SWIDTH 1000 0
DWIDTH 8 0
BBX 7 8 0 -1
BITMAP
10
FE
92
92
FE
10
10
10
ENDCHAR
ENDFONT
)";

TEST(Qvfmake, PlacesBdfGlyphsAsWorkedOutByHand) {
    TempDir dir;
    const std::string bdf = writeFile(dir / "hand.bdf", kBdf);
    const std::string out = dir / "hand.qvf";
    // Default baseline: FONT_ASCENT, 7 rows. The second record has room to spare.
    const RunResult run = qvfmake({"-o", out, bdf, "--size", "8", "--name", "Hand 8", bdf, "--size",
                                   "8", "--cell", "12", "--baseline", "9", "--name", "Hand 12"});
    ASSERT_TRUE(run.exited && run.code == 0) << run.output;
    BitmapFontLibrary lib;
    ASSERT_TRUE(lib.addFile(readFile(out), 1252));
    ASSERT_EQ(lib.fonts().size(), 2u);
    EXPECT_EQ(lib.fonts()[0].codeUnits,
              (std::vector<char16_t>{u' ', u'A', u'W', u'^', u'_', u'j', u'中'}));

    using Rows = std::vector<std::string>;
    // clang-format off
    const std::map<char16_t, Rows> cell8 = {
        {u'A', {"..#.....",
                ".#.#....",
                "#...#...",
                "#...#...",
                "#####...",
                "#...#...",
                "#...#...",
                "........"}},
        // 10 wide: the two right columns are cut.
        {u'W', {"#.......",
                "#.......",
                "#...##..",
                "#..#..#.",
                "#.#....#",
                "##......",
                "#.......",
                "........"}},
        // Bearing 4 + width 5 > 8: moved left by one.
        {u'^', {".....#..",
                "....#.#.",
                "...#...#",
                "........",
                "........",
                "........",
                "........",
                "........"}},
        // Bearing -1 becomes 0; the lowest row falls below the cell.
        {u'j', {"........",
                "..#.....",
                "........",
                ".##.....",
                "..#.....",
                "..#.....",
                "..#.....",
                "#.#....."}},
        {u'中', {"...#....",
                 "#######.",
                 "#..#..#.",
                 "#..#..#.",
                 "#######.",
                 "...#....",
                 "...#....",
                 "...#...."}},
        // Entirely below the cell.
        {u'_', Rows(8, "........")},
        {u' ', Rows(8, "........")},
    };
    // clang-format on
    for (const auto& [unit, rows] : cell8) {
        SCOPED_TRACE(static_cast<unsigned>(unit));
        EXPECT_EQ(loadedRows(lib, 0, unit), rows);
    }
    // Equal bitmaps share a glyph.
    EXPECT_EQ(lib.glyphNumber(0, u'_'), lib.glyphNumber(0, u' '));
    EXPECT_NE(lib.glyphNumber(0, u'_'), 0);

    const std::string e(12, '.');
    // clang-format off
    const std::map<char16_t, Rows> cell12 = {
        {u'A', {e, e,
                "..#.........",
                ".#.#........",
                "#...#.......",
                "#...#.......",
                "#####.......",
                "#...#.......",
                "#...#.......",
                e, e, e}},
        {u'W', {e, e,
                "#........#..",
                "#........#..",
                "#...##...#..",
                "#..#..#..#..",
                "#.#....#.#..",
                "##......##..",
                "#........#..",
                e, e, e}},
        {u'^', {e, e,
                "......#.....",
                ".....#.#....",
                "....#...#...",
                e, e, e, e, e, e, e}},
        {u'j', {e, e, e,
                "..#.........",
                e,
                ".##.........",
                "..#.........",
                "..#.........",
                "..#.........",
                "#.#.........",
                ".#..........",
                e}},
        {u'_', {e, e, e, e, e, e, e, e, e, e, e,
                "######......"}},
    };
    // clang-format on
    for (const auto& [unit, rows] : cell12) {
        SCOPED_TRACE(static_cast<unsigned>(unit));
        EXPECT_EQ(loadedRows(lib, 1, unit), rows);
    }
    EXPECT_NE(lib.glyphNumber(1, u'_'), lib.glyphNumber(1, u' '));
    // The summary says how many glyphs lost ink: W, ^ is moved not cut, j, _.
    EXPECT_NE(run.output.find("3 cut at the cell's edge"), std::string::npos) << run.output;
}

TEST(Qvfmake, HeaderAndBlocksFollowTheLayout) {
    TempDir dir;
    const std::string out = dir / "two.qvf";
    const RunResult run = qvfmake(
        {"-o",       out,       FONT_WQY_12PX,         "--size",      "12",
         "--cell",   "11",      "--baseline",          "10",          "--name",
         "QVSimsun", "--chars", "0x20-0x7E",           FONT_WQY_16PX, "--size",
         "16",       "--name",  "Nineteen characters", "--chars",     "0x41,0x4E00-0x4E0F"});
    ASSERT_TRUE(run.exited && run.code == 0) << run.output;
    const std::string b = readFile(out);
    ASSERT_GT(b.size(), 3u + 80u);
    EXPECT_EQ(b.substr(0, 2), "QV");
    EXPECT_EQ(b[2], 2);

    const struct {
        int cell;
        std::string name;
    } expected[] = {{11, "QVSimsun"}, {16, "Nineteen characters"}};
    uint32_t nextOffset = 3 + 2 * 40;
    for (int k = 0; k < 2; ++k) {
        SCOPED_TRACE(k);
        const size_t r = 3 + 40 * k;
        EXPECT_EQ(b[r], 0);
        EXPECT_EQ(b[r + 1], expected[k].cell);
        EXPECT_EQ(b[r + 2], expected[k].cell);
        std::string name = expected[k].name;
        name.resize(20, '\0');
        EXPECT_EQ(b.substr(r + 3, 20), name);
        EXPECT_EQ(b.substr(r + 31, 9), std::string(9, '\0'));

        const uint32_t length = u32At(b, r + 23);
        const uint32_t offset = u32At(b, r + 27);
        EXPECT_EQ(offset, nextOffset);
        ASSERT_LE(static_cast<size_t>(offset) + length, b.size());
        // The glyph numbers used are exactly 1..max, and the block ends after glyph max.
        std::set<uint16_t> used;
        for (size_t c = 0; c < 0x10000; ++c) {
            const uint16_t g = static_cast<uint16_t>(static_cast<uint8_t>(b[offset + 2 * c]) << 8 |
                                                     static_cast<uint8_t>(b[offset + 2 * c + 1]));
            if (g) used.insert(g);
        }
        ASSERT_FALSE(used.empty());
        EXPECT_EQ(*used.begin(), 1);
        EXPECT_EQ(used.size(), *used.rbegin());
        const size_t glyphSize = static_cast<size_t>((expected[k].cell + 7) / 8) * expected[k].cell;
        EXPECT_EQ(length, 0x40000 + (*used.rbegin() + 1) * glyphSize);
        nextOffset = offset + length;
    }
    EXPECT_EQ(nextOffset, b.size());

    // Glyph number of 'A' (0x41) in the second block, then its 16 rows of 2 bytes.
    const uint32_t block = u32At(b, 3 + 40 + 27);
    const uint16_t a = static_cast<uint16_t>(static_cast<uint8_t>(b[block + 0x82]) << 8 |
                                             static_cast<uint8_t>(b[block + 0x83]));
    ASSERT_NE(a, 0);
    FreeTypeReference ref;
    ASSERT_TRUE(ref.open(FONT_WQY_16PX, 0, 16));
    const std::vector<std::string> rows = ref.rows(U'A', 16, ref.ascender());
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const uint8_t byte = static_cast<uint8_t>(b[block + 0x40000 + a * 32 + y * 2 + x / 8]);
            EXPECT_EQ((byte >> (7 - x % 8)) & 1, rows[y][x] == '#') << x << "," << y;
        }
}

TEST(Qvfmake, SeveralRecordsInOneFile) {
    TempDir dir;
    const std::string out = dir / "three.qvf";
    const RunResult run = qvfmake({"--output=" + out,
                                   "--font=" + std::string(FONT_WQY_12PX),
                                   "--size=12",
                                   "--baseline=10",
                                   "--name=Song 12",
                                   "--chars=0x4E2D",
                                   "--font",
                                   FONT_WQY_16PX,
                                   "--name",
                                   "Song 16",
                                   "--size",
                                   "16",
                                   "--chars",
                                   "0x4E2D",
                                   FONT_ZENHEI,
                                   "--face-index",
                                   "1",
                                   "--size",
                                   "14",
                                   "--cell",
                                   "15",
                                   "--baseline",
                                   "12",
                                   "--name",
                                   "Zen Mono",
                                   "--chars",
                                   "0x4E2D,0x41"});
    ASSERT_TRUE(run.exited && run.code == 0) << run.output;
    BitmapFontLibrary lib;
    ASSERT_TRUE(lib.addFile(readFile(out), 1252));
    ASSERT_EQ(lib.fonts().size(), 3u);

    const struct {
        const char* font;
        int face, size, cell, baseline;
        std::u16string name;
        size_t units;
    } expected[] = {{FONT_WQY_12PX, 0, 12, 12, 10, u"Song 12", 1},
                    {FONT_WQY_16PX, 0, 16, 16, 14, u"Song 16", 1},
                    {FONT_ZENHEI, 1, 14, 15, 12, u"Zen Mono", 2}};
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        const BitmapFont& f = lib.fonts()[k];
        EXPECT_EQ(f.name, expected[k].name);
        EXPECT_EQ(f.cell, expected[k].cell);
        EXPECT_EQ(f.codeUnits.size(), expected[k].units);
        FreeTypeReference ref;
        ASSERT_TRUE(ref.open(expected[k].font, expected[k].face, expected[k].size));
        EXPECT_EQ(loadedRows(lib, k, u'中'),
                  ref.rows(U'中', expected[k].cell, expected[k].baseline));
    }
    // One summary line per record.
    EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 3) << run.output;
}

TEST(Qvfmake, EqualBitmapsShareAGlyphAndOnlyThey) {
    TempDir dir;
    const std::string out = dir / "shared.qvf";
    const RunResult run =
        qvfmake({"-o", out, FONT_WQY_12PX, "--size", "12", "--baseline", "10", "--name", "Shared",
                 "--chars", "0x20-0x7E,0x2000-0x206F,0x3000-0x303F,0xFF00-0xFFEF"});
    ASSERT_TRUE(run.exited && run.code == 0) << run.output;
    BitmapFontLibrary lib;
    ASSERT_TRUE(lib.addFile(readFile(out), 1252));
    ASSERT_EQ(lib.fonts().size(), 1u);
    std::map<std::vector<std::string>, std::set<uint16_t>> numbersOfBitmap;
    std::set<uint16_t> all;
    for (char16_t u : lib.fonts()[0].codeUnits) {
        numbersOfBitmap[loadedRows(lib, 0, u)].insert(lib.glyphNumber(0, u));
        all.insert(lib.glyphNumber(0, u));
    }
    for (const auto& [rows, numbers] : numbersOfBitmap)
        EXPECT_EQ(numbers.size(), 1u);
    EXPECT_EQ(all.size(), numbersOfBitmap.size());
    // The ideographic space and the ASCII space are both blank.
    EXPECT_EQ(lib.glyphNumber(0, u'\u3000'), lib.glyphNumber(0, u' '));
}

TEST(Qvfmake, ReadsGzippedPcfLikeThePlainFile) {
#ifndef GZIP_PATH
    GTEST_SKIP() << "no gzip program";
#else
    TempDir dir;
    const std::string gz = dir / "song.pcf.gz";
    ASSERT_EQ(runProgram(GZIP_PATH, {"-c", FONT_WQY_16PX}, gz).code, 0);
    const std::vector<std::string> rest = {"--size", "16",      "--name",
                                           "Song",   "--chars", "0x20-0x7E,0x4E00-0x4EFF"};
    std::vector<std::string> a = {"-o", dir / "plain.qvf", FONT_WQY_16PX};
    std::vector<std::string> b = {"-o", dir / "gz.qvf", gz};
    a.insert(a.end(), rest.begin(), rest.end());
    b.insert(b.end(), rest.begin(), rest.end());
    ASSERT_EQ(qvfmake(a).code, 0);
    const RunResult run = qvfmake(b);
    ASSERT_TRUE(run.exited && run.code == 0) << run.output;
    const std::string plain = readFile(dir / "plain.qvf");
    EXPECT_GT(plain.size(), 0x40000u);
    EXPECT_TRUE(plain == readFile(dir / "gz.qvf"));
#endif
}

TEST(Qvfmake, HelpExplainsTheOptions) {
    const RunResult run = qvfmake({"--help"});
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.code, 0);
    for (const char* option :
         {"-o", "--size", "--name", "--cell", "--chars", "--baseline", "--face-index"})
        EXPECT_NE(run.output.find(option), std::string::npos) << option;
}

// A refused run: a non-zero exit, a message that names the problem, and no
// file written, not even a temporary one.
struct BadRun {
    const char* label;
    std::vector<std::string> args;  // "OUT" stands for the output file, "DIR" for the folder
    const char* message;
};

void PrintTo(const BadRun& c, std::ostream* os) {
    *os << c.label;
}

class QvfmakeRefuses : public testing::TestWithParam<BadRun> {};

TEST_P(QvfmakeRefuses, WithAMessageAndNoFile) {
    const BadRun& c = GetParam();
    TempDir dir;
    writeFile(dir / "garbage.pcf", std::string(5000, 'x') + "not a font");
    writeFile(dir / "empty.ttf", "");
    std::filesystem::create_directories(dir / "folder.pcf");
    const std::vector<std::string> before = filesIn(dir.path());
    std::vector<std::string> args;
    for (std::string a : c.args) {
        if (a == "OUT") a = dir / "out.qvf";
        if (a.rfind("DIR/", 0) == 0) a = (dir / a.substr(4)).string();
        args.push_back(a);
    }
    const RunResult run = qvfmake(args);
    ASSERT_TRUE(run.exited) << "crashed: " << run.output;
    EXPECT_NE(run.code, 0);
    EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
    EXPECT_EQ(filesIn(dir.path()), before);
}

std::vector<BadRun> badRuns() {
    const std::string p12 = FONT_WQY_12PX;
    auto group = [&](std::vector<std::string> extra) {
        std::vector<std::string> a = {"-o", "OUT", p12, "--size", "12", "--name", "X"};
        a.insert(a.end(), extra.begin(), extra.end());
        return a;
    };
    std::vector<BadRun> runs = {
        {"nothing", {}, "Usage"},
        {"no_font", {"-o", "OUT"}, "no font file"},
        {"no_output", {p12, "--size", "12", "--name", "X"}, "no output file"},
        {"no_size", {"-o", "OUT", p12, "--name", "X"}, "no --size"},
        {"no_name", {"-o", "OUT", p12, "--size", "12"}, "no --name"},
        {"size_not_a_number", group({"--cell", "12px"}), "whole number"},
        {"size_zero", {"-o", "OUT", p12, "--size", "0", "--name", "X"}, "out of range"},
        {"cell_too_big", group({"--cell", "256"}), "out of range"},
        {"negative_baseline", group({"--baseline", "-1"}), "out of range"},
        {"baseline_below_cell", group({"--baseline", "13"}), "below"},
        {"name_too_long",
         {"-o", "OUT", p12, "--size", "12", "--name", "Twenty characters!!!"},
         "1 to 19"},
        {"name_not_ascii", {"-o", "OUT", p12, "--size", "12", "--name", "Song\xC3\xA9"}, "ASCII"},
        {"range_backwards", group({"--chars", "0x7E-0x20"}), "backwards"},
        {"range_beyond_bmp", group({"--chars", "0x20-0x110000"}), "U+0000..U+FFFF"},
        {"supplementary_plane", group({"--chars", "0x20,U+1F600"}), "U+1F600"},
        {"only_surrogates", group({"--chars", "0xD800-0xDFFF"}), "surrogate"},
        {"empty_item", group({"--chars", "0x20,,0x30"}), "empty item"},
        {"empty_chars", group({"--chars", ""}), "empty"},
        {"not_a_code_point", group({"--chars", "0x20-zz"}), "not a code point"},
        {"unknown_option", group({"--bold"}), "unknown option '--bold'"},
        {"option_before_font",
         {"-o", "OUT", "--size", "12", p12, "--name", "X"},
         "before any font"},
        {"size_twice", group({"--size", "12"}), "twice"},
        {"output_twice", group({"-o", "DIR/other.qvf"}), "twice"},
        {"value_missing", group({"--chars"}), "needs a value"},
        {"no_strike_of_that_size", {"-o", "OUT", p12, "--size", "11", "--name", "X"}, "12 px"},
        {"pcf_has_one_face", group({"--face-index", "1"}), "face"},
        {"ttc_has_three_faces",
         {"-o", "OUT", FONT_ZENHEI, "--face-index", "5", "--size", "12", "--name", "X"},
         "3 face(s)"},
        {"none_of_the_chars", group({"--chars", "0xA000-0xA0FF"}), "none of the requested"},
        {"missing_font",
         {"-o", "OUT", "DIR/missing.pcf", "--size", "12", "--name", "X"},
         "No such file"},
        {"folder_as_font",
         {"-o", "OUT", "DIR/folder.pcf", "--size", "12", "--name", "X"},
         "folder"},
        {"garbage_font",
         {"-o", "OUT", "DIR/garbage.pcf", "--size", "12", "--name", "X"},
         "not a font"},
        {"empty_font", {"-o", "OUT", "DIR/empty.ttf", "--size", "12", "--name", "X"}, "not a font"},
        // The second record fails after the first has been rendered.
        {"second_record_fails", group({"DIR/missing.pcf", "--size", "12", "--name", "Y"}),
         "missing.pcf"},
        {"output_in_missing_folder",
         {"-o", "DIR/no/such/out.qvf", p12, "--size", "12", "--name", "X", "--chars", "0x41"},
         "cannot write"},
        {"output_is_a_folder",
         {"-o", "DIR/folder.pcf", p12, "--size", "12", "--name", "X", "--chars", "0x41"},
         "cannot write"},
    };
    std::vector<std::string> many = {"-o", "OUT"};
    for (int i = 0; i < 128; ++i)
        many.insert(many.end(), {p12, "--size", "12", "--name", "X"});
    runs.push_back({"too_many_records", many, "at most 127"});
    return runs;
}

INSTANTIATE_TEST_SUITE_P(BadInput, QvfmakeRefuses, testing::ValuesIn(badRuns()),
                         [](const testing::TestParamInfo<BadRun>& p) {
                             return std::string(p.param.label);
                         });

TEST(Qvfmake, UnreadableFontIsRefused) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads any file";
    TempDir dir;
    const std::string locked = writeFile(dir / "locked.pcf", readFile(FONT_WQY_12PX));
    ::chmod(locked.c_str(), 0);
    const RunResult run = qvfmake({"-o", dir / "out.qvf", locked, "--size", "12", "--name", "X"});
    ASSERT_TRUE(run.exited);
    EXPECT_NE(run.code, 0);
    EXPECT_NE(run.output.find("Permission denied"), std::string::npos) << run.output;
    EXPECT_FALSE(std::filesystem::exists(dir / "out.qvf"));
}

TEST(Qvfmake, FailureLeavesAnEarlierOutputAlone) {
    TempDir dir;
    const std::string out = writeFile(dir / "out.qvf", "the old file");
    const RunResult run = qvfmake({"-o", out, FONT_WQY_12PX, "--size", "12", "--name", "X",
                                   dir / "missing.bdf", "--size", "12", "--name", "Y"});
    ASSERT_TRUE(run.exited);
    EXPECT_NE(run.code, 0);
    EXPECT_EQ(readFile(out), "the old file");
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"out.qvf"});
}

}  // namespace
