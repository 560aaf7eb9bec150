#pragma once

#include "assets/PictureRecord.h"
#include "platform/Bitmap.h"
#include "platform/ImageCodec.h"
#include "platform/TextLookup.h"

#include <filesystem>
#include <string>
#include <vector>

// The picture library dialog: edits a copy of the library. The window shows
// the state and passes the user's actions in; OK hands the list back.
class CImgInfoDlg {
public:
    class View {
    public:
        virtual ~View() = default;
        // The state changed; read it from the dialog.
        virtual void refresh() = 0;
        // A file-open dialog for several files; empty when cancelled.
        virtual std::vector<std::filesystem::path> chooseFiles(std::u16string_view filterName,
                                                               std::u16string_view pattern) = 0;
        virtual void messageBox(std::u16string_view text) = 0;
    };

    static constexpr int kPreviewWidth = 316;
    static constexpr int kPreviewHeight = 36;
    static constexpr int kMinSize = 1;
    static constexpr int kMaxSize = 10000;
    static constexpr int kFieldLength = 5;
    static constexpr std::u16string_view kFilterName = u"image files(*.bmp;*.jpg;*jpeg;*png)";
    static constexpr std::u16string_view kFilterPattern = u"*.bmp;*.jpg;*.jpeg;*.png;";

    CImgInfoDlg(const platform::TextLookup& texts, platform::ImageCodec& codec,
                std::vector<PictureRecord> records);

    void setView(View* view) { m_view = view; }
    // Fills the id list, selects its first entry and shows it.
    void onInitDialog();

    // --- what the user does ------------------------------------------------------------
    void selectEntry(int index);
    void add();
    void remove();
    void setWidth(int width);
    void setHeight(int height);
    void setZoom(bool zoom);

    // --- what the window shows ---------------------------------------------------------
    struct Entry {
        std::u16string label;  // "IMG%.2d"
        int32_t id;
    };
    const std::vector<Entry>& entries() const { return m_entries; }
    int selection() const { return m_selection; }  // -1 for none
    const std::u16string& path() const { return m_path; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    bool zoom() const { return m_zoom; }
    const platform::Bitmap& preview() const { return m_preview; }

    struct Captions {
        std::u16string title, add, remove, width, height, zoom, ok, cancel, id, max;
    };
    const Captions& captions() const { return m_captions; }

    // The edited list, in order.
    const std::vector<PictureRecord>& records() const { return m_records; }

private:
    PictureRecord* selected();
    void fillIdList();
    void showSelected();
    void drawPreview();
    const platform::Bitmap* picture(const std::u16string& path);
    void refresh() {
        if (m_view) m_view->refresh();
    }

    const platform::TextLookup& m_texts;
    platform::ImageCodec& m_codec;
    View* m_view = nullptr;
    std::vector<PictureRecord> m_records;
    std::vector<Entry> m_entries;
    Captions m_captions;
    int m_selection = -1;
    std::u16string m_path;
    int m_width = kMinSize;
    int m_height = kMinSize;
    bool m_zoom = false;
    platform::Bitmap m_preview;
    // The last picture decoded, so editing its size does not decode it again.
    std::u16string m_decodedPath;
    platform::Bitmap m_decoded;
    bool m_decodedOk = false;
};
