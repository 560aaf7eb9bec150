#include "assets/CCustomToolBar.h"

#include "platform/Format.h"

#include <algorithm>

CCustomToolBar::CCustomToolBar(const platform::TextLookup& texts, std::filesystem::path dataFolder,
                               std::filesystem::path programFolder)
    : m_texts(texts),
      m_dataFolder(std::move(dataFolder)),
      m_programFolder(std::move(programFolder)) {}

void CCustomToolBar::onInitDialog() {
    const platform::TextLookup& t = m_texts;
    if (m_view) {
        const std::u16string titles[COLUMN_COUNT] = {t.text(u"Index"), t.text(u"MenuID"),
                                                     t.text(u"MenuItem"), t.text(u"Path")};
        m_view->setColumnTitles(titles);
        m_view->setControlText(IDOK, t.text(u"OK"));
        m_view->setControlText(IDCANCEL, t.text(u"Cancel"));
        m_view->setControlText(IDC_ADD, t.text(u"Add"));
        m_view->setControlText(IDC_REMOVE, t.text(u"Remove"));
        m_view->setControlText(IDC_WIDTH_LABEL, t.text(u"ButtonWidth"));
        m_view->setControlText(IDC_HEIGHT_LABEL, t.text(u"ButtonHeight"));
        m_view->setControlText(IDC_SPACING_LABEL, t.text(u"ButtonSpacing"));
    }
    ToolbarDescription::locate(file(), m_programFolder);
    const ToolbarDescription::Description d = ToolbarDescription::read(file());
    m_rows.clear();
    for (size_t i = 0; i < d.items.size(); ++i) {
        const ToolbarDescription::Item& item = d.items[i];
        m_rows.push_back({{platform::format(u"% 3u", {static_cast<unsigned>(i)}), item.id,
                           item.title, item.path}});
    }
    if (m_view) {
        m_view->setControlText(IDC_WIDTH, platform::format(u"%u", {d.width}));
        m_view->setControlText(IDC_HEIGHT, platform::format(u"%u", {d.height}));
        m_view->setControlText(IDC_SPACING, platform::format(u"%u", {d.spacing}));
        m_view->showRows();
    }
    if (!m_rows.empty()) preview(0);
}

std::vector<std::u16string> CCustomToolBar::commandNames() const {
    std::vector<std::u16string> names;
    for (const platform::TextListEntry& e : m_texts.list(u"MenuItem"))
        names.push_back(e.text);
    return names;
}

void CCustomToolBar::preview(int row) {
    if (!m_view || row < 0 || row >= static_cast<int>(m_rows.size())) return;
    m_view->showPreview(std::filesystem::path(m_rows[static_cast<size_t>(row)].cells[COL_PATH]));
}

void CCustomToolBar::onSelect(int row) {
    m_selection = row >= 0 && row < static_cast<int>(m_rows.size()) ? row : -1;
    preview(m_selection);
}

void CCustomToolBar::onMenuItemChosen(int row, const std::u16string& name) {
    if (name.empty() || row < 0 || row >= static_cast<int>(m_rows.size())) return;
    for (const platform::TextListEntry& e : m_texts.list(u"MenuItem")) {
        if (e.text != name) continue;
        Row& r = m_rows[static_cast<size_t>(row)];
        r.cells[COL_MENU_ITEM] = name;
        r.cells[COL_MENU_ID] = e.value;
        if (m_view) m_view->showRows();
        return;
    }
}

void CCustomToolBar::onCellEdited(int row, int column, const std::u16string& text) {
    if (row < 0 || row >= static_cast<int>(m_rows.size()) || column < COL_MENU_ID ||
        column >= COLUMN_COUNT)
        return;
    m_rows[static_cast<size_t>(row)].cells[column] = text;
    if (column == COL_PATH && row == m_selection) preview(row);
}

void CCustomToolBar::onChoosePath(int row) {
    if (!m_view || row < 0 || row >= static_cast<int>(m_rows.size())) return;
    if (const auto file = m_view->chooseImage()) {
        onCellEdited(row, COL_PATH, file->u16string());
        m_view->showRows();
    }
}

void CCustomToolBar::renumber() {
    for (size_t i = 0; i < m_rows.size(); ++i)
        m_rows[i].cells[COL_INDEX] = platform::format(u"% 2d", {static_cast<int>(i)});
}

void CCustomToolBar::onAdd() {
    Row r;
    r.cells[COL_INDEX] = platform::format(u"% 2d", {static_cast<int>(m_rows.size())});
    m_rows.push_back(r);
    m_selection = static_cast<int>(m_rows.size()) - 1;
    if (m_view) {
        m_view->showRows();
        m_view->selectRow(m_selection);
    }
}

void CCustomToolBar::onRemove(const std::set<int>& rows) {
    int last = -1;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        if (*it < 0 || *it >= static_cast<int>(m_rows.size())) continue;
        m_rows.erase(m_rows.begin() + *it);
        last = std::max(last, *it);
    }
    if (last < 0) return;
    renumber();
    if (m_rows.empty()) {
        m_selection = -1;
        if (m_view) {
            m_view->showRows();
            m_view->showPreview({});
        }
        return;
    }
    // The row now at the last deleted position, or the last row.
    const int count = static_cast<int>(m_rows.size());
    m_selection = std::min(last - static_cast<int>(rows.size()) + 1, count - 1);
    m_selection = std::max(m_selection, 0);
    if (m_view) {
        m_view->showRows();
        m_view->selectRow(m_selection);
    }
    preview(m_selection);
}

void CCustomToolBar::onUp() {
    if (m_selection <= 0 || m_selection >= static_cast<int>(m_rows.size())) return;
    Row& a = m_rows[static_cast<size_t>(m_selection)];
    Row& b = m_rows[static_cast<size_t>(m_selection - 1)];
    for (int c = COL_MENU_ID; c < COLUMN_COUNT; ++c)
        std::swap(a.cells[c], b.cells[c]);
    --m_selection;
    if (m_view) {
        m_view->showRows();
        m_view->selectRow(m_selection);
    }
}

void CCustomToolBar::onDown() {
    if (m_selection < 0 || m_selection + 1 >= static_cast<int>(m_rows.size())) return;
    Row& a = m_rows[static_cast<size_t>(m_selection)];
    Row& b = m_rows[static_cast<size_t>(m_selection + 1)];
    for (int c = COL_MENU_ID; c < COLUMN_COUNT; ++c)
        std::swap(a.cells[c], b.cells[c]);
    ++m_selection;
    if (m_view) {
        m_view->showRows();
        m_view->selectRow(m_selection);
    }
}

bool CCustomToolBar::onOK(const std::u16string& width, const std::u16string& height,
                          const std::u16string& spacing, std::string* error) {
    if (m_rows.empty()) return true;
    ToolbarDescription::Description d;
    d.width = ToolbarDescription::sizeValue(width, 32);
    d.height = ToolbarDescription::sizeValue(height, 32);
    d.spacing = ToolbarDescription::sizeValue(spacing, 1);
    for (const Row& r : m_rows)
        d.items.push_back({r.cells[COL_MENU_ID], r.cells[COL_MENU_ITEM], r.cells[COL_PATH]});
    return ToolbarDescription::write(file(), d, error);
}
