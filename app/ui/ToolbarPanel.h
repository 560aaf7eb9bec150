#pragma once

#include "app/CDialogToolbar.h"
#include "assets/ToolbarDescription.h"
#include "platform/TextLookup.h"

#include <QToolBar>

#include <filesystem>
#include <functional>
#include <vector>

class QAction;
class QMenu;
class QToolButton;

// The toolbar panel at the top of the main window: the buttons of the user's
// toolbar description, or the fixed set when there is none. Every press is
// posted to the main window's command handler, so it runs after the click.
class ToolbarPanel : public QToolBar {
    Q_OBJECT
public:
    // Runs one of the main window's commands.
    using Post = std::function<void(int command)>;

    ToolbarPanel(const platform::TextLookup& texts, std::filesystem::path dataFolder,
                 std::filesystem::path programFolder, Post post, QWidget* parent = nullptr);
    ~ToolbarPanel() override;

    // Reads the description again and makes the buttons anew.
    void rebuild();
    // Captions in the current language; then whether they fit is decided again.
    void retranslate();
    // A command that reached the panel: one of the forwarding range goes on to
    // the main window.
    void forwardCommand(int id);

    // The buttons in order, a hidden one included.
    std::vector<QToolButton*> buttons() const;
    // False while the buttons show icons alone.
    bool showsTexts() const { return m_showTexts; }
    // The drop-down item of the first button that has one (Send's "BatchTx").
    QAction* batchItem() const;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Entry {
        CDialogToolbar::Button button;
        QAction* action = nullptr;
        QMenu* menu = nullptr;  // the drop-down, for a button that has one
        QAction* batch = nullptr;
        int textWidth = 0;  // the button's width with its caption
    };

    std::vector<CDialogToolbar::Button> currentButtons() const;
    void post(int command);
    void clearButtons();
    void applyCaptions();
    void measure();
    // Texts or icons alone, as the panel's width allows; `force` sets every
    // button even when that did not change.
    void relayout(bool force = false);
    int availableWidth() const;

    const platform::TextLookup& m_texts;
    std::filesystem::path m_dataFolder;
    std::filesystem::path m_programFolder;
    Post m_post;
    ToolbarDescription::Description m_description;
    bool m_described = false;  // the buttons come from the user's description
    int m_gap = CDialogToolbar::kGap;
    std::vector<Entry> m_entries;
    bool m_showTexts = true;
};
