#include "app/CDialogToolbar.h"

#include "platform/TextCodec.h"

#include <cstdlib>

std::vector<CDialogToolbar::Button> CDialogToolbar::fixedButtons(
    const platform::TextLookup& texts, const std::filesystem::path& iconFolder) {
    std::vector<Button> buttons;
    for (const Fixed& f : kButtons) {
        Button b;
        b.control = f.control;
        b.command = f.command;
        b.caption = texts.text(f.captionKey);
        b.icon = iconFolder / (std::to_string(f.icon) + ".png");
        b.hidden = f.hidden;
        b.dropDown = f.control == IDC_SEND;
        buttons.push_back(std::move(b));
    }
    return buttons;
}

std::vector<CDialogToolbar::Button> CDialogToolbar::describedButtons(
    const ToolbarDescription::Description& d, const platform::TextLookup& texts) {
    std::vector<Button> buttons;
    const std::vector<platform::TextListEntry> names = texts.list(u"MenuItem");
    for (const ToolbarDescription::Item& item : d.items) {
        const std::string id = platform::utf16ToUtf8(item.id);
        char* end = nullptr;
        const long command = std::strtol(id.c_str(), &end, 10);
        if (id.empty() || *end != '\0' || command <= 0 || command > 0xFFFF) continue;
        Button b;
        b.command = static_cast<int>(command);
        b.caption = item.title;
        for (const platform::TextListEntry& e : names)
            if (e.value == item.id) b.caption = e.text;
        b.icon = std::filesystem::path(item.path);
        b.dropDown = b.command == IDM_FILE_SEND;
        buttons.push_back(std::move(b));
    }
    return buttons;
}

CDialogToolbar::Layout CDialogToolbar::layout(const std::vector<int>& widths,
                                              const std::vector<bool>& hidden, int panelWidth,
                                              int gap) {
    Layout l;
    int x = 0;
    int right = 0;
    for (size_t i = 0; i < widths.size(); ++i) {
        l.x.push_back(x);
        // A hidden button keeps its place in the row.
        const bool shown = i >= hidden.size() || !hidden[i];
        if (shown) right = x + widths[i];
        x += widths[i] + gap;
    }
    l.texts = right <= panelWidth;
    return l;
}

int CDialogToolbar::commandOf(const Button& button, bool dropDownItem) {
    return button.dropDown && dropDownItem ? ID_BATCH_SEND : button.command;
}

std::optional<int> CDialogToolbar::forwarded(int id) {
    if (id >= kForwardFirst && id <= kForwardLast) return id - kForwardFirst;
    return std::nullopt;
}
