// Arbitrary bytes as the pixel editor's settings (ImageEditconfig.xml): open the
// editor on them, draw a little, close it, and open it again on what it saved.
// The grid always has a size the editor allows, the window is sized for it,
// and the reopened editor has the size, zoom and picture the first one left.
#include "FuzzFolder.h"
#include "assets/CBmpEdit.h"
#include "support/FakeImageCodec.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Texts : platform::TextLookup {
    std::u16string text(std::u16string_view key) const override { return std::u16string(key); }
    std::vector<platform::TextListEntry> list(std::u16string_view) const override { return {}; }
};

// Checks that every size the editor asks for is the one its grid needs.
class View : public CBmpEdit::View {
public:
    const CBmpEdit* editor = nullptr;
    int resizes = 0;

    void setTitle(const std::u16string&) override {}
    void setControlText(int, const std::u16string&) override {}
    void resizeClient(int width, int height) override {
        ++resizes;
        if (width != editor->clientWidth() || height != editor->clientHeight()) std::abort();
    }
    void redraw() override {}
    void captureMouse(bool) override {}
    std::optional<std::filesystem::path> openFileDialog(std::u16string_view) override {
        return std::nullopt;
    }
    std::optional<std::filesystem::path> saveFileDialog(std::u16string_view, std::u16string_view,
                                                        std::u16string_view) override {
        return std::nullopt;
    }
    void messageBox(const std::u16string&) override { std::abort(); }
};

platform::Bitmap pattern(int width, int height) {
    platform::Bitmap b(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            b.setPixel(x, y, (x * 7 + y * 3) % 5 < 2 ? 0xFFFF0000u : 0xFF000000u);
    return b;
}

void checkSize(const CBmpEdit& e) {
    if (e.width() < 1 || e.width() > CBmpEdit::kPictureWidth || e.height() < 1 ||
        e.height() > CBmpEdit::kPictureHeight)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzfolder::reset();
    const auto& dir = fuzzfolder::folder();
    fuzzfolder::writeFile(dir / CBmpEdit::kSettingsFile, fuzzfolder::bytesOf(data, size));

    // Pictures a settings file may name: smaller and larger than the grid.
    FakeImageCodec codec;
    codec.put("small.bmp", pattern(30, 5));
    codec.put("wide.png", pattern(1500, 40));
    codec.put("dot.jpg", pattern(1, 1));
    Texts texts;
    std::vector<PictureRecord> pictures;
    CBmpEdit::Services services{codec,
                                texts,
                                dir,
                                [&] { return pictures; },
                                [&](std::vector<PictureRecord> p) { pictures = std::move(p); },
                                {},
                                [] { return int64_t{1000}; }};

    View view;
    CBmpEdit editor(services);
    view.editor = &editor;
    editor.setView(&view);
    editor.onInitDialog();
    checkSize(editor);
    if (view.resizes != 1) std::abort();

    // A stroke across the grid, from the first cell to the last.
    editor.onMouseDown(editor.gridLeft() + 1, CBmpEdit::kGridTop + 1);
    editor.onMouseMove(editor.gridLeft() + CBmpEdit::kCell * editor.width() - 1,
                       CBmpEdit::kGridTop + CBmpEdit::kCell * editor.height() - 1);
    editor.onMouseUp();
    if (!editor.lit(0, 0) || !editor.lit(editor.width() - 1, editor.height() - 1)) std::abort();
    editor.onClose();

    View again;
    CBmpEdit reopened(services);
    again.editor = &reopened;
    reopened.setView(&again);
    reopened.onInitDialog();
    if (reopened.width() != editor.width() || reopened.height() != editor.height() ||
        reopened.zoom() != editor.zoom())
        std::abort();
    for (int y = 0; y < editor.height(); ++y)
        for (int x = 0; x < editor.width(); ++x)
            if (reopened.lit(x, y) != editor.lit(x, y)) std::abort();
    return 0;
}
