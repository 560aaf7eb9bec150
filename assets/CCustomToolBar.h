#pragma once

#include "assets/ToolbarDescription.h"
#include "platform/TextLookup.h"

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

// The custom toolbar dialog: edits the toolbar description, one row per button
// with its command and image. It knows no window system.
class CCustomToolBar {
public:
    static constexpr int IDC_LIST = 1048;
    static constexpr int IDC_PREVIEW = 1049;
    static constexpr int IDC_ADD = 1044;
    static constexpr int IDC_REMOVE = 1045;
    static constexpr int IDC_UP = 1046;
    static constexpr int IDC_DOWN = 1047;
    static constexpr int IDC_WIDTH = 1051;
    static constexpr int IDC_HEIGHT = 1052;
    static constexpr int IDC_SPACING = 1059;
    static constexpr int IDC_WIDTH_LABEL = 1053;
    static constexpr int IDC_HEIGHT_LABEL = 1054;
    static constexpr int IDC_SPACING_LABEL = 1058;
    static constexpr int IDOK = 1;
    static constexpr int IDCANCEL = 2;

    enum Column { COL_INDEX, COL_MENU_ID, COL_MENU_ITEM, COL_PATH, COLUMN_COUNT };
    static constexpr int kColumnWidths[COLUMN_COUNT] = {50, 50, 100, 150};
    static constexpr uint32_t kTextColour = 0x0000FF;  // RGB(0,0,255)
    static constexpr uint32_t kBackColour = 0xDCDCFF;  // RGB(220,220,255)

    struct Row {
        std::u16string cells[COLUMN_COUNT];
    };

    class View {
    public:
        virtual ~View() = default;
        virtual void setControlText(int id, const std::u16string& text) = 0;
        virtual void setColumnTitles(const std::u16string (&titles)[COLUMN_COUNT]) = 0;
        // The rows changed; read them from the dialog.
        virtual void showRows() = 0;
        virtual void selectRow(int row) = 0;
        // The image stretched over the preview on black; empty: black only. An
        // image that does not load leaves the preview as it is.
        virtual void showPreview(const std::filesystem::path& image) = 0;
        // A file dialog without a filter.
        virtual std::optional<std::filesystem::path> chooseImage() = 0;
    };

    CCustomToolBar(const platform::TextLookup& texts, std::filesystem::path dataFolder,
                   std::filesystem::path programFolder);

    void setView(View* view) { m_view = view; }
    void onInitDialog();

    const std::vector<Row>& rows() const { return m_rows; }
    // The display names the MenuItem column offers.
    std::vector<std::u16string> commandNames() const;
    int selection() const { return m_selection; }

    void onSelect(int row);
    // A display name chosen in a MenuItem cell: its identifier goes to MenuID.
    void onMenuItemChosen(int row, const std::u16string& name);
    // Any other cell edited in place.
    void onCellEdited(int row, int column, const std::u16string& text);
    // A Path cell clicked: the file dialog.
    void onChoosePath(int row);
    void onAdd();
    // Removes the rows (any order) and selects where the last one was.
    void onRemove(const std::set<int>& rows);
    void onUp();
    void onDown();
    // OK with the three fields' texts; writes the file unless the list is empty.
    // False with the reason when the file could not be written.
    bool onOK(const std::u16string& width, const std::u16string& height,
              const std::u16string& spacing, std::string* error = nullptr);

    std::filesystem::path file() const { return ToolbarDescription::fileIn(m_dataFolder); }

private:
    void renumber();
    void preview(int row);

    const platform::TextLookup& m_texts;
    std::filesystem::path m_dataFolder;
    std::filesystem::path m_programFolder;
    View* m_view = nullptr;
    std::vector<Row> m_rows;
    int m_selection = -1;
};
