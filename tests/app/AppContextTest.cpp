#include "support/FakeImageCodec.h"
#include "support/FakeTextRenderer.h"
#include "support/TestFiles.h"

#include "app/AppContext.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::writeFile;

std::string item(int id, const char* path) {
    return "<imageItem name=\"imageItem\"><Item name=\"imgPath\">" + std::string(path) +
           "</Item><Item name=\"nValueID\">" + std::to_string(id) + "</Item></imageItem>\r\n";
}

class Context : public ::testing::Test {
protected:
    std::unique_ptr<AppContext> start(const fs::path& data) {
        auto context = std::make_unique<AppContext>(images, fonts, text,
                                                    AppFolders(data, dir / "program", dir / "tmp"));
        context->loadPictures();
        return context;
    }

    struct Fonts : platform::FontCatalog {
        std::vector<std::u16string> families() const override { return {u"Arial"}; }
    } fonts;
    FakeImageCodec images;
    FakeTextRenderer text;
    testing_support::TempDir dir;
};

// The picture library the user had is kept aside before the first write
// replaces it; what could be read of it is what is written.
TEST_F(Context, ADamagedPictureLibraryIsKeptBesideTheOneWrittenInItsPlace) {
    fs::create_directories(dir / "data");
    const fs::path file = dir / "data" / "imageconfig.xml";
    const std::string damaged =
        "<root><imageFlag>0</imageFlag>" + item(50, "/a.png") + item(51, "/b.png");
    writeFile(file, damaged);
    const auto context = start(dir / "data");
    ASSERT_EQ(context->pictures().records().size(), 2u);
    std::string error;
    ASSERT_TRUE(context->writePictures(&error)) << error;
    EXPECT_EQ(readFile(dir / "data" / "imageconfig.xml.damaged"), damaged);
    std::vector<PictureRecord> back;
    bool whole = false;
    ASSERT_TRUE(PictureLibrary::read(file, back, &whole));
    EXPECT_TRUE(whole);
    EXPECT_EQ(back, context->pictures().records());
    // Once replaced by a sound file, later saves leave the kept copy alone.
    writeFile(dir / "data" / "imageconfig.xml.damaged", "kept");
    ASSERT_TRUE(context->writePictures(&error));
    EXPECT_EQ(readFile(dir / "data" / "imageconfig.xml.damaged"), "kept");

    // A user file that cannot be read at all (here a folder by its name) is not replaced.
    fs::create_directories(dir / "lib" / "imageconfig.xml");
    const auto unreadable = start(dir / "lib");
    EXPECT_FALSE(unreadable->writePictures(&error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(fs::is_directory(dir / "lib" / "imageconfig.xml"));
}

}  // namespace
