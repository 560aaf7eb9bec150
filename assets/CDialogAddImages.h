#pragma once

#include "platform/Bitmap.h"
#include "platform/ImageCodec.h"
#include "platform/TextLookup.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The animation library dialog: add, remove, reorder and preview the GIFs of
// the library, save them on OK, and have the main window send the library.
class CDialogAddImages {
public:
    static constexpr int IDC_PREVIEW = 1043;
    static constexpr int IDC_ADD = 1044;
    static constexpr int IDC_REMOVE = 1045;
    static constexpr int IDC_UP = 1046;
    static constexpr int IDC_DOWN = 1047;
    static constexpr int IDC_LIST = 1048;
    static constexpr int IDC_PREVIEW_AREA = 1049;
    static constexpr int IDC_UPDATE = 32825;
    static constexpr int ID_BATCH_TX = 32845;
    static constexpr int IDOK = 1;
    static constexpr int IDCANCEL = 2;

    static constexpr int TIMER_PREVIEW = 10003;
    static constexpr int kPreviewPeriodMs = 200;
    static constexpr uint32_t kMsgSendAnimations = 0x0805;
    static constexpr uint32_t kMsgReloadAnimations = 0x0807;

    static constexpr uint32_t kTextColour = 0x0000FF;  // 0xRRGGBB
    static constexpr uint32_t kBackColour = 0xDCDCFF;
    static constexpr int kPositionWidth = 50;
    static constexpr int kPathWidth = 300;
    static constexpr std::u16string_view kFilterName = u"gif Files ";
    static constexpr std::u16string_view kFilterPattern = u"*.gif;*.gif;";

    class View {
    public:
        virtual ~View() = default;
        // The state changed; read it from the dialog.
        virtual void refresh() = 0;
        // A file-open dialog for several files; empty when cancelled.
        virtual std::vector<std::filesystem::path> chooseFiles(std::u16string_view filterName,
                                                               std::u16string_view pattern) = 0;
        virtual void messageBox(std::u16string_view text) = 0;
        virtual void startTimer(int id, int milliseconds) = 0;
        virtual void stopTimer(int id) = 0;
        // To the main window, later.
        virtual void postMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
        // Ends the dialog.
        virtual void endDialog(int result) = 0;
    };

    struct Row {
        std::u16string position;  // "% 2d"
        std::u16string path;
    };

    // `frameCounter` is the preview's frame count, kept for the whole run.
    CDialogAddImages(const platform::TextLookup& texts, platform::ImageCodec& codec,
                     std::filesystem::path libraryFile, std::filesystem::path programFolder,
                     uint64_t& frameCounter);
    ~CDialogAddImages();

    void setView(View* view) { m_view = view; }

    void onInitDialog();
    // The list's selected rows, in order.
    void onSelectionChanged(std::vector<int> rows);
    void onAdd();
    void onRemove();
    void onUp();
    void onDown();
    void onPreview();
    void onTimer(int id);
    void onOK();
    void onCancel();
    // The menu button, or its drop-down item "BatchTx" when `batch`.
    void onUpdate(bool batch);

    // --- what the window shows ---------------------------------------------------------
    const std::vector<Row>& rows() const { return m_rows; }
    const std::vector<int>& selection() const { return m_selection; }
    std::u16string title() const;
    std::u16string controlText(int id) const;
    std::u16string columnCaption(int column) const;
    bool previewRunning() const { return m_previewRow >= 0; }
    bool isEnabled(int id) const;
    // What the preview area shows, stretched on black; empty for black alone.
    const platform::Bitmap& previewImage() const { return m_preview; }
    bool changed() const { return m_changed; }

private:
    void renumber();
    void showFirstFrame(int row);
    void stopPreview();
    void refresh() {
        if (m_view) m_view->refresh();
    }

    const platform::TextLookup& m_texts;
    platform::ImageCodec& m_codec;
    const std::filesystem::path m_libraryFile;
    const std::filesystem::path m_programFolder;
    uint64_t& m_frameCounter;
    View* m_view = nullptr;

    std::vector<Row> m_rows;
    std::vector<int> m_selection;
    platform::Bitmap m_preview;
    int m_previewRow = -1;  // the row the running preview plays
    bool m_changed = false;
};
