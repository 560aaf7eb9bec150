#pragma once

#include "assets/PictureRecord.h"
#include "platform/Bitmap.h"
#include "platform/ImageCodec.h"
#include "platform/TextLookup.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The pixel image editor: a W × H grid of LEDs drawn cell by cell, kept in a
// 1024 × 12 picture of full colour (a pixel is lit when its red is 128 or more).
// It knows no window system; its face draws what it says and passes the mouse on.
class CBmpEdit {
public:
    static constexpr int kCell = 20;
    static constexpr int kGridTop = 30;
    static constexpr int kMinColumns = 32;
    static constexpr int kPictureWidth = 1024;
    static constexpr int kPictureHeight = 12;
    static constexpr int kDefaultWidth = 48;
    static constexpr int kDefaultHeight = 12;
    static constexpr int kLineWidth = 2;
    static constexpr uint32_t kLineColour = 0xFF202020;  // RGB(32,32,32)
    static constexpr uint32_t kLitColour = 0xFFFF0000;
    static constexpr uint32_t kDarkColour = 0xFF121200;  // RGB(18,18,0)
    static constexpr uint32_t kPen = 0xFFFF0000;
    static constexpr uint32_t kEraser = 0xFF000000;

    static constexpr int IDC_ZOOM = 1073;
    static constexpr int IDC_WIDTH = 1074;
    static constexpr int IDC_HEIGHT = 1075;
    static constexpr int IDC_WIDTH_SPIN = 1076;
    static constexpr int IDC_HEIGHT_SPIN = 1077;
    static constexpr int IDC_PEN = 1208;
    static constexpr int IDC_ERASER = 1216;
    static constexpr int IDC_CLEAR = 1217;
    static constexpr int IDC_OPEN = 1219;
    static constexpr int IDC_SAVE_AS = 1100;
    static constexpr int IDC_SAVE = 1218;
    static constexpr int IDC_WIDTH_LABEL = 1053;
    static constexpr int IDC_HEIGHT_LABEL = 1054;

    static constexpr const char16_t* kOpenFilter =
        u"Image Files(*.bmp;*.jpg;*.jpeg;*.png)|*.bmp;*jpg;*.jpeg;*.png||";
    static constexpr const char16_t* kSaveFilter =
        u"Image Files(*.bmp;*.jpg;*.jpeg;*.png;)|*.bmp;*jpg;*.jpeg;*.png||";
    static constexpr const char* kSettingsFile = "ImageEditconfig.xml";
    static constexpr const char* kLastImageFile = "lastImage.bmp";

    class View {
    public:
        virtual ~View() = default;
        virtual void setTitle(const std::u16string& title) = 0;
        virtual void setControlText(int id, const std::u16string& text) = 0;
        // The client area's new size; the window keeps its top-left corner.
        virtual void resizeClient(int width, int height) = 0;
        // The grid changed; draw it again (drawGrid gives the picture to show).
        virtual void redraw() = 0;
        virtual void captureMouse(bool on) = 0;
        virtual std::optional<std::filesystem::path> openFileDialog(std::u16string_view filter) = 0;
        virtual std::optional<std::filesystem::path> saveFileDialog(
            std::u16string_view defaultName, std::u16string_view defaultExtension,
            std::u16string_view filter) = 0;
        virtual void messageBox(const std::u16string& text) = 0;
    };

    struct Services {
        platform::ImageCodec& images;
        const platform::TextLookup& texts;
        std::filesystem::path dataFolder;
        // The main window's picture list, which Save appends to (its file is
        // written when the picture library dialog is next confirmed).
        std::function<std::vector<PictureRecord>()> pictures;
        std::function<void(std::vector<PictureRecord>)> setPictures;
        // Types text into both program editors as the user would.
        std::function<void(std::u16string_view)> typeIntoEditors;
        // The time in seconds, for the library file's name.
        std::function<int64_t()> now;
    };

    explicit CBmpEdit(Services services);

    void setView(View* view) { m_view = view; }

    // Reads the settings and the last picture, sets the captions and the size.
    void onInitDialog();
    // The close box: writes the last picture, then the settings.
    void onClose();
    void onButton(int id);
    // One step per click, whatever the arrow's delta.
    void onWidthArrow(int delta);
    void onHeightArrow(int delta);
    // The left button paints with the current colour; the right one erases. A
    // move paints every cell on the line from the last one, so a fast drag leaves
    // no gaps.
    void onMouseDown(int x, int y, bool rightButton = false);
    void onMouseMove(int x, int y);
    void onMouseUp();

    int width() const { return m_width; }
    int height() const { return m_height; }
    bool zoom() const { return m_zoom; }
    void setZoom(bool zoom) { m_zoom = zoom; }
    uint32_t currentColour() const { return m_colour; }
    bool drawing() const { return m_drawing; }
    const platform::Bitmap& picture() const { return m_picture; }
    bool lit(int x, int y) const;

    int clientWidth() const { return kCell * std::max(m_width, kMinColumns); }
    int clientHeight() const { return kGridTop + kCell * m_height; }
    int gridLeft() const { return (clientWidth() - kCell * m_width) / 2; }
    // The grid as the face shows it at (gridLeft(), kGridTop).
    platform::Bitmap drawGrid() const;

    // Loads an image file into the picture (scaled with the zoom flag); false and
    // no change when it does not load.
    bool loadPicture(const std::filesystem::path& file);
    // The W × H picture, 24 bits per pixel, in the format its extension names.
    bool savePicture(const std::filesystem::path& file) const;
    // Save into the picture library (button 1218).
    void saveToLibrary();

    std::filesystem::path settingsFile() const { return m_services.dataFolder / kSettingsFile; }
    std::filesystem::path lastImageFile() const { return m_services.dataFolder / kLastImageFile; }

private:
    bool readSettings(std::filesystem::path& lastImage);
    bool writeSettings(std::string* error) const;
    platform::Bitmap currentPicture() const;
    void resize();
    std::optional<std::pair<int, int>> cellAt(int x, int y) const;
    void paintLine(std::pair<int, int> from, std::pair<int, int> to);

    Services m_services;
    View* m_view = nullptr;
    platform::Bitmap m_picture{kPictureWidth, kPictureHeight, platform::kBlack};
    int m_width = kDefaultWidth;
    int m_height = kDefaultHeight;
    bool m_zoom = false;
    uint32_t m_colour = kPen;
    uint32_t m_dragColour = kPen;
    bool m_drawing = false;
    std::pair<int, int> m_lastCell{-1, -1};
};
