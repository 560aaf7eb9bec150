#include "assets/AnimationLibrary.h"
#include "assets/AnimationSet.h"
#include "assets/CDialogAddImages.h"
#include "support/FakeImageCodec.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using platform::Bitmap;
using testing_support::readFile;
using testing_support::writeFile;

constexpr uint32_t kRed = 0xFFFF0000;
constexpr uint32_t kDim = 0xFF630000;   // red 99: dark on the sign
constexpr uint32_t kEdge = 0xFF640000;  // red 100: lit

// --- the library file ------------------------------------------------------------------

class LibraryFile : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir / "program");
        writeFile(dir / "program" / "DefaultGif.dat",
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?><GifFiles>"
                  "<Item Index=\"00\" Speed=\"200\">.\\Images\\Gif\\heart.gif</Item>"
                  "<Item Index=\"01\" Speed=\"200\">/abs/rain.gif</Item></GifFiles>");
    }
    fs::path program() const { return dir / "program"; }
    fs::path file() const { return dir / "GifFiles.xml"; }
    testing_support::TempDir dir;
};

TEST_F(LibraryFile, AMissingOrDamagedLibraryComesFromTheDefault) {
    const std::u16string heart = (program() / "Images/Gif/heart.gif").u16string();
    for (const char* before : {"", "<root><Item Index=\"00\">/mine.gif</Item></root>"}) {
        SCOPED_TRACE(before);
        fs::remove(file());
        if (*before) writeFile(file(), before);
        ASSERT_TRUE(AnimationLibrary::locate(file(), program()));
        const auto entries = AnimationLibrary::read(file(), program());
        EXPECT_EQ(entries, (AnimationLibrary::Entries{{u"00", heart}, {u"01", u"/abs/rain.gif"}}));
        // Saved with the paths made absolute, after the declaration header.
        EXPECT_EQ(readFile(file()).rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?><GifFiles>", 0),
                  0u);
        EXPECT_NE(readFile(file()).find(">" + (program() / "Images/Gif/heart.gif").string() + "<"),
                  std::string::npos);
        // What the user had is kept aside, never just overwritten.
        if (*before) {
            EXPECT_EQ(readFile(dir / "GifFiles.xml.damaged"), before);
        }
    }
}

TEST_F(LibraryFile, EntriesAreOrderedByIndexAndTheLastOfAnIndexWins) {
    writeFile(file(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?><GifFiles>"
              "<Item Index=\"0A\" Speed=\"200\">/ten.gif</Item>"
              "<Item Index=\"01\" Speed=\"50\">/one.gif</Item>"
              "<Item Index=\"0A\" Speed=\"200\">/ten-again.gif</Item>"
              "<Item Index=\"00\">/zero.gif</Item></GifFiles>");
    ASSERT_TRUE(AnimationLibrary::locate(file(), program()));
    EXPECT_EQ(AnimationLibrary::paths(AnimationLibrary::read(file(), program())),
              (std::vector<std::u16string>{u"/zero.gif", u"/one.gif", u"/ten-again.gif"}));
}

TEST_F(LibraryFile, WrittenWithIndexAndSpeedInListOrder) {
    ASSERT_TRUE(AnimationLibrary::write(file(), {u"/b & c.gif", u"/a.gif"}));
    EXPECT_EQ(readFile(file()),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?><GifFiles>\r\n"
              "<Item Index=\"00\" Speed=\"200\">/b &amp; c.gif</Item>\r\n"
              "<Item Index=\"01\" Speed=\"200\">/a.gif</Item>\r\n"
              "</GifFiles>\r\n");
    std::string error;
    EXPECT_FALSE(AnimationLibrary::write(dir / "missing" / "GifFiles.xml", {u"/a.gif"}, &error));
    EXPECT_FALSE(error.empty());
}

// --- the animation set -------------------------------------------------------------------

// A frame of h × h, lit where `lit` says.
Bitmap frameOf(int h, const std::function<bool(int, int)>& lit, uint32_t on = kRed) {
    Bitmap b(h, h, platform::kBlack);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < h; ++x)
            if (lit(x, y)) b.setPixel(x, y, on);
    return b;
}

TEST(AnimationSetBytes, ThreeFramesAtTwelveRows) {
    FakeImageCodec codec;
    // Frame 0: column 0 lit; frame 1: row 0 lit; frame 2: column 9 lit.
    codec.putFrames("/a.gif", {{frameOf(12, [](int x, int) { return x == 0; }), 100},
                               {frameOf(12, [](int, int y) { return y == 0; }), 100},
                               {frameOf(12, [](int x, int) { return x == 9; }), 100}});
    const auto set = AnimationSet::build({u"/a.gif"}, 12, codec);
    ASSERT_EQ(set.size(), 89u);
    // Header: size code 1 twice, n = 1, offset 12; block: 72 frame bytes, 3 frames.
    EXPECT_EQ(std::vector<uint8_t>(set.begin(), set.begin() + 17),
              (std::vector<uint8_t>{1, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 12, 0, 72, 3, 0, 0}));
    std::vector<uint8_t> frames;
    // Frame 0: band 0 rows 0-11 0x80, band 1 nothing. Inverted.
    for (int y = 0; y < 12; ++y)
        frames.push_back(0x7F);
    for (int y = 0; y < 12; ++y)
        frames.push_back(0xFF);
    // Frame 1: row 0 of band 0 all 8 columns, of band 1 its 4 columns.
    frames.push_back(0x00);
    for (int y = 1; y < 12; ++y)
        frames.push_back(0xFF);
    frames.push_back(0x0F);
    for (int y = 1; y < 12; ++y)
        frames.push_back(0xFF);
    // Frame 2: column 9 is bit 6 of band 1.
    for (int y = 0; y < 12; ++y)
        frames.push_back(0xFF);
    for (int y = 0; y < 12; ++y)
        frames.push_back(0xBF);
    EXPECT_EQ(std::vector<uint8_t>(set.begin() + 17, set.end()), frames);
}

TEST(AnimationSetBytes, SizeCodesFrameSizesAndTheRedThreshold) {
    FakeImageCodec codec;
    // Eleven rows: 2 bands × 11 = 22 bytes a frame; red 99 stays dark, 100 lights.
    codec.putFrames("/dim.gif", {{frameOf(
                                      11, [](int x, int) { return x == 1; }, kDim),
                                  0}});
    codec.putFrames("/edge.gif", {{frameOf(
                                       11, [](int x, int) { return x == 1; }, kEdge),
                                   0}});
    const auto set = AnimationSet::build({u"/dim.gif", u"/edge.gif"}, 11, codec);
    ASSERT_EQ(set.size(), 8u + 8 + 2 * (5 + 22));
    EXPECT_EQ(set[0], 0);
    EXPECT_EQ(set[1], 0);
    EXPECT_EQ(set[4], 2);
    EXPECT_EQ(std::vector<uint8_t>(set.begin() + 8, set.begin() + 16),
              (std::vector<uint8_t>{0, 0, 0, 16, 0, 0, 0, 43}));
    EXPECT_EQ(set[16 + 1], 22);
    EXPECT_EQ(set[16 + 5], 0xFF);         // red 99: nothing lit, all bits set after inversion
    EXPECT_EQ(set[43 + 5], 0xFF - 0x40);  // red 100: column 1 lit

    for (auto [height, code] : {std::pair{12, 1}, {16, 2}, {20, 20}, {8, 8}}) {
        SCOPED_TRACE(height);
        const auto one = AnimationSet::build({u"/edge.gif"}, height, codec);
        EXPECT_EQ(one[0], code);
        EXPECT_EQ(one[13], AnimationSet::frameBytes(height));
    }
    EXPECT_EQ(AnimationSet::frameBytes(16), 32u);
}

TEST(AnimationSetBytes, ScaledFramesUnreadableFilesAndFrameCounts) {
    FakeImageCodec codec;
    // 24 × 24 of 2 × 2 blocks, the top-left block lit: one lit LED at 12 rows.
    Bitmap big(24, 24, platform::kBlack);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            big.setPixel(x, y, kRed);
    codec.putFrames("/big.gif", {{big, 0}});
    std::vector<platform::ImageFrame> many(256, {frameOf(12, [](int, int) { return true; }), 0});
    codec.putFrames("/many.gif", many);
    const auto set =
        AnimationSet::build({u"/missing.gif", u"/big.gif", u"", u"/many.gif"}, 12, codec);
    // Two blocks: the missing file and the empty path get none.
    ASSERT_EQ(set[4], 2);
    EXPECT_EQ(std::vector<uint8_t>(set.begin() + 8, set.begin() + 16),
              (std::vector<uint8_t>{0, 0, 0, 16, 0, 0, 0, 16 + 5 + 24}));
    EXPECT_EQ(set[16 + 5], 0x7F);
    EXPECT_EQ(set[16 + 6], 0xFF);
    // 256 frames are 0 in the block's count byte, and that many are encoded.
    EXPECT_EQ(std::vector<uint8_t>(set.begin() + 45, set.end()),
              (std::vector<uint8_t>{0, 0, 0, 0, 0}));
    EXPECT_TRUE(AnimationSet::build({}, 12, codec).empty());
    // Only unreadable entries: a header that says so.
    EXPECT_EQ(AnimationSet::build({u"/missing.gif"}, 16, codec),
              (std::vector<uint8_t>{2, 2, 0, 0, 0, 0, 0, 0}));
}

TEST(AnimationSetBytes, ReadBackAsItWasMadeAndDamageNamed) {
    FakeImageCodec codec;
    codec.putFrames("/a.gif", {{frameOf(16, [](int x, int y) { return x == y; }), 0},
                               {frameOf(16, [](int x, int) { return x == 15; }), 0}});
    auto set = AnimationSet::build({u"/a.gif"}, 16, codec);
    auto parsed = AnimationSet::parse(set);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->height, 16);
    EXPECT_TRUE(parsed->problem.empty());
    ASSERT_EQ(parsed->blocks.size(), 1u);
    ASSERT_EQ(parsed->blocks[0].frames.size(), 2u);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            EXPECT_EQ(AnimationSet::lit(parsed->blocks[0].frames[0], 16, x, y), x == y);
            EXPECT_EQ(AnimationSet::lit(parsed->blocks[0].frames[1], 16, x, y), x == 15);
        }
    set.resize(set.size() - 10);
    parsed = AnimationSet::parse(set);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->problem, "block 0 is cut short");
    EXPECT_EQ(parsed->blocks[0].frames.size(), 1u);
    EXPECT_FALSE(AnimationSet::parse(std::vector<uint8_t>(7, 0)));
    std::vector<uint8_t> farOffset{1, 1, 0, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(AnimationSet::parse(farOffset)->problem, "block 0 lies outside the set");
}

// --- the dialog ---------------------------------------------------------------------------

struct Texts : platform::TextLookup {
    std::u16string text(std::u16string_view key) const override { return std::u16string(key); }
    std::vector<platform::TextListEntry> list(std::u16string_view) const override { return {}; }
};

struct DialogView : CDialogAddImages::View {
    int refreshes = 0;
    std::vector<fs::path> nextFiles;
    std::vector<std::u16string> messages;
    std::map<int, int> timers;
    std::vector<std::tuple<uint32_t, uintptr_t, intptr_t>> posted;
    std::optional<int> ended;
    void refresh() override { ++refreshes; }
    std::vector<fs::path> chooseFiles(std::u16string_view name,
                                      std::u16string_view pattern) override {
        EXPECT_EQ(name, u"gif Files ");
        EXPECT_EQ(pattern, u"*.gif;*.gif;");
        return std::exchange(nextFiles, {});
    }
    void messageBox(std::u16string_view text) override { messages.emplace_back(text); }
    void startTimer(int id, int ms) override { timers[id] = ms; }
    void stopTimer(int id) override { timers.erase(id); }
    void postMessage(uint32_t m, uintptr_t w, intptr_t l) override { posted.emplace_back(m, w, l); }
    void endDialog(int result) override { ended = result; }
};

class AnimationDialog : public LibraryFile {
protected:
    void open() {
        dlg = std::make_unique<CDialogAddImages>(texts, codec, file(), program(), counter);
        dlg->setView(&view);
        dlg->onInitDialog();
    }
    std::vector<std::u16string> paths() const {
        std::vector<std::u16string> out;
        for (const auto& row : dlg->rows())
            out.push_back(row.path);
        return out;
    }
    std::vector<std::u16string> positions() const {
        std::vector<std::u16string> out;
        for (const auto& row : dlg->rows())
            out.push_back(row.position);
        return out;
    }
    Texts texts;
    FakeImageCodec codec;
    uint64_t counter = 0;
    DialogView view;
    std::unique_ptr<CDialogAddImages> dlg;
};

TEST_F(AnimationDialog, FiftyRowsAndNoMore) {
    open();
    for (int k = 0; k < 48; ++k)
        view.nextFiles.push_back("/f" + std::to_string(k) + ".gif");
    dlg->onAdd();
    EXPECT_EQ(dlg->rows().size(), 50u);
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(dlg->rows()[49].position, u" 49");  // the space flag always leaves room for a sign
    EXPECT_EQ(dlg->rows()[2].position, u" 2");
    EXPECT_EQ(dlg->selection(), std::vector<int>{49});
    view.nextFiles = {"/one-more.gif", "/and-another.gif"};
    dlg->onAdd();
    EXPECT_EQ(dlg->rows().size(), 50u);
    EXPECT_EQ(view.messages, std::vector<std::u16string>{u"MAX50"});
}

TEST_F(AnimationDialog, RemovingSelectsTheNextAndTheLastBlackensThePreview) {
    codec.putFrames("/x.gif", {{Bitmap(4, 4, kRed), 0}});
    AnimationLibrary::write(file(), {u"/x.gif", u"/y.gif", u"/z.gif"});
    open();
    EXPECT_FALSE(dlg->previewImage().empty());  // the first row's first frame
    dlg->onSelectionChanged({0, 2});
    dlg->onRemove();
    EXPECT_EQ(paths(), std::vector<std::u16string>{u"/y.gif"});
    EXPECT_EQ(positions(), std::vector<std::u16string>{u" 0"});
    EXPECT_EQ(dlg->selection(), std::vector<int>{0});  // the position of the last removed, clamped
    dlg->onRemove();
    EXPECT_TRUE(dlg->rows().empty());
    EXPECT_TRUE(dlg->previewImage().empty());
}

TEST_F(AnimationDialog, ReorderingSavesTheNewOrderAndSendsNothing) {
    AnimationLibrary::write(file(), {u"/a.gif", u"/b.gif", u"/c.gif"});
    open();
    dlg->onSelectionChanged({2});
    dlg->onUp();
    EXPECT_EQ(dlg->selection(), std::vector<int>{1});
    EXPECT_EQ(positions(), (std::vector<std::u16string>{u" 0", u" 1", u" 2"}));
    dlg->onOK();
    EXPECT_EQ(AnimationLibrary::paths(AnimationLibrary::read(file(), program())),
              (std::vector<std::u16string>{u"/a.gif", u"/c.gif", u"/b.gif"}));
    EXPECT_EQ(view.posted,
              (std::vector<std::tuple<uint32_t, uintptr_t, intptr_t>>{{0x0807, 0, 0}}));
    EXPECT_EQ(view.ended, CDialogAddImages::IDOK);
}

TEST_F(AnimationDialog, AnAddedAnimationIsSentOnceAndBatchTxGoesToAll) {
    open();
    view.nextFiles = {"/new.gif"};
    dlg->onAdd();
    dlg->onOK();
    using Posted = std::vector<std::tuple<uint32_t, uintptr_t, intptr_t>>;
    EXPECT_EQ(view.posted, (Posted{{0x0807, 0, 0}, {0x0805, 1, 0}}));
    view.posted.clear();
    dlg->onOK();
    EXPECT_EQ(view.posted, (Posted{{0x0807, 0, 0}}));
    view.posted.clear();
    dlg->onUpdate(true);
    dlg->onUpdate(false);
    EXPECT_EQ(view.posted, (Posted{{0x0805, 1, 1}, {0x0805, 1, 0}}));
}

TEST_F(AnimationDialog, ThePreviewStepsEveryTickAndLocksTheButtons) {
    auto shade = [](int k) { return Bitmap(2, 2, 0xFF000000u | static_cast<uint32_t>(k) << 16); };
    codec.putFrames("/three.gif", {{shade(1), 10}, {shade(2), 10}, {shade(3), 10}});
    codec.putFrames("/still.gif", {{shade(9), 0}});
    AnimationLibrary::write(file(), {u"/three.gif", u"/still.gif"});
    open();
    dlg->onSelectionChanged({0});
    dlg->onPreview();
    EXPECT_EQ(view.timers, (std::map<int, int>{{10003, 200}}));
    EXPECT_EQ(dlg->controlText(CDialogAddImages::IDC_PREVIEW), u"Stop");
    for (int id : {CDialogAddImages::IDOK, CDialogAddImages::IDCANCEL, CDialogAddImages::IDC_ADD,
                   CDialogAddImages::IDC_REMOVE})
        EXPECT_FALSE(dlg->isEnabled(id));
    std::vector<uint32_t> shown;
    for (int tick = 0; tick < 4; ++tick) {
        dlg->onTimer(10003);
        shown.push_back(dlg->previewImage().pixel(0, 0) >> 16 & 0xFF);
    }
    EXPECT_EQ(shown, (std::vector<uint32_t>{1, 2, 3, 1}));
    dlg->onPreview();
    EXPECT_TRUE(view.timers.empty());
    EXPECT_TRUE(dlg->isEnabled(CDialogAddImages::IDOK));

    // The counter runs on through the run: the still picture does not change.
    dlg->onSelectionChanged({1});
    dlg->onPreview();
    dlg->onTimer(10003);
    EXPECT_EQ(dlg->previewImage().pixel(0, 0) >> 16 & 0xFF, 9u);
    EXPECT_EQ(counter, 1u);
    dlg->onCancel();
    EXPECT_TRUE(view.timers.empty());
    EXPECT_EQ(view.ended, CDialogAddImages::IDCANCEL);
}

}  // namespace
