#include "app/ui/CMainWindow.h"

#include "app/CGlimraApp.h"
#include "app/Commands.h"
#include "app/ui/CSystemSettingDialog.h"
#include "app/ui/ScreenTree.h"
#include "app/ui/ToolbarPanel.h"
#include "assets/ui/CBmpEditDialog.h"
#include "assets/ui/CCustomToolBarDialog.h"
#include "assets/ui/CDialogAddImagesDialog.h"
#include "assets/ui/CImgInfoDialog.h"
#include "batch/ui/CClustersSendDialog.h"
#include "content/ui/CDlgProgramWidget.h"
#include "platform/qt/QtText.h"
#include "preview/ui/CPreviewDlg.h"
#include "project/ui/CDlgScreenWidget.h"
#include "project/ui/CScreenSelDialog.h"
#include "update/ui/DownLoadDialog.h"
#include "update/ui/DownLoadTipDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr char kProgramName[] = "Zentari";

using platform::toQString;

// "Name " and "*.a;*.b" become Qt's "Name (*.a *.b)".
QString fileFilter(std::u16string_view name, std::u16string_view pattern) {
    return toQString(name) + QLatin1Char('(') +
           toQString(pattern).replace(QLatin1Char(';'), QLatin1Char(' ')) + QLatin1Char(')');
}

std::optional<std::filesystem::path> chosenPath(const QString& file) {
    if (file.isEmpty()) return std::nullopt;
    return std::filesystem::path(file.toStdString());
}

// The preview view: an unlit sign, dark with its grid of LEDs, always in
// place. The preview window inside it is shown and hidden by the controller.
class PreviewPlaceholder : public QWidget {
public:
    explicit PreviewPlaceholder(QWidget* parent) : QWidget(parent) {
        setSizePolicy(QSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum));
    }

    void setPreferredHeight(int height) {
        if (height == m_height) return;
        m_height = height;
        updateGeometry();
    }

    QSize sizeHint() const override { return {320, m_height}; }
    QSize minimumSizeHint() const override { return {120, 48}; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        painter.setPen(QColor(0x3c, 0x3c, 0x40));
        painter.setBrush(QColor(0x16, 0x16, 0x19));
        painter.drawRoundedRect(frame, 5, 5);

        constexpr int kPitch = 9;
        constexpr qreal kRadius = 2.5;
        const QRect area = rect().adjusted(10, 10, -10, -10);
        const int columns = std::max(0, area.width() / kPitch);
        const int rows = std::max(0, area.height() / kPitch);
        const qreal left = area.left() + (area.width() - columns * kPitch + kPitch) / 2.0;
        const qreal top = area.top() + (area.height() - rows * kPitch + kPitch) / 2.0;
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0x30, 0x25, 0x25));
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < columns; ++x)
                painter.drawEllipse(QPointF(left + x * kPitch, top + y * kPitch), kRadius, kRadius);
    }

private:
    int m_height = 120;
};

}  // namespace

CMainWindow::CMainWindow(CGlimraDlg& dlg, QWidget* parent) : QMainWindow(parent), m_dlg(dlg) {
    setWindowTitle(QString::fromLatin1(kProgramName));
    resize(1000, 680);
    buildMenus();
    buildContent();

    m_dlg.attach({*this, *m_tree, *this, *this, *this, *this, *this});
    m_dlg.screenPanel().setView(m_screenPanel);
    m_dlg.programEditor().setView(m_programEditor);
    // The text box measures character heights in twips at the screen's resolution.
    m_dlg.setScreenDpi(static_cast<int>(logicalDpiY()));
}

CMainWindow::~CMainWindow() {
    m_timers.stopAll();
    // The player's threads end before anything else goes.
    delete m_previewWindow;
    m_previewWindow = nullptr;
    // The widgets go after this body; nothing they do on the way reaches the
    // controller, and no transfer on another thread reaches them.
    m_tree->detach();
    m_dlg.detach();
    m_dlg.screenPanel().setView(nullptr);
    m_dlg.programEditor().setView(nullptr);
}

// --- building ------------------------------------------------------------------------------

void CMainWindow::buildMenus() {
    for (const CGlimraDlg::MenuItem& top : CGlimraDlg::menuBar()) {
        QMenu* menu = QMainWindow::menuBar()->addMenu(toQString(top.key));
        menu->menuAction()->setData(top.id);
        m_submenus[top.id] = menu;
        connect(menu, &QMenu::aboutToShow, this, [this, menu] { updateMenuState(menu); });
        addMenuItems(menu, top.children);
    }
}

void CMainWindow::addMenuItems(QMenu* menu, const std::vector<CGlimraDlg::MenuItem>& items) {
    for (const CGlimraDlg::MenuItem& item : items) {
        if (item.separatorBefore) menu->addSeparator();
        if (item.id < 0) {
            QMenu* submenu = menu->addMenu(toQString(item.key));
            submenu->menuAction()->setData(item.id);
            m_submenus[item.id] = submenu;
            connect(submenu, &QMenu::aboutToShow, this,
                    [this, submenu] { updateMenuState(submenu); });
            addMenuItems(submenu, item.children);
        } else {
            QAction* action = addCommand(menu, item.id, toQString(item.key));
            if (!item.shortcut.empty()) {
                const QKeySequence keys(toQString(item.shortcut));
                // A tree key is shown, and the tree runs it; the others run from anywhere.
                if (item.treeKey)
                    m_shownKeys[item.id] = keys.toString(QKeySequence::NativeText);
                else
                    action->setShortcut(keys);
            }
            m_commands[item.id] = action;
        }
    }
}

QAction* CMainWindow::addCommand(QMenu* menu, int id, const QString& text) {
    QAction* action = menu->addAction(text);
    action->setData(id);
    connect(action, &QAction::triggered, this, [this, id] { runCommand(id); });
    return action;
}

void CMainWindow::buildContent() {
    // Its presses reach the controller as the menu's do.
    m_toolbar = new ToolbarPanel(
        m_dlg.language(), m_dlg.folders().dataFolder(), m_dlg.folders().programFolder(),
        [this](int id) { runCommand(id); }, this);
    addToolBar(Qt::TopToolBarArea, m_toolbar);

    auto* central = new QWidget(this);
    auto* outer = new QHBoxLayout(central);
    outer->setContentsMargins(8, 8, 8, 4);

    auto* splitter = new QSplitter(Qt::Horizontal, central);
    m_splitter = splitter;
    splitter->setChildrenCollapsible(false);
    splitter->setHandleWidth(8);

    m_tree = new ScreenTree(splitter);
    m_tree->setMinimumWidth(160);

    m_contentFrame = new QWidget(splitter);
    auto* content = new QVBoxLayout(m_contentFrame);
    content->setContentsMargins(0, 0, 0, 0);
    content->setSpacing(8);

    auto* preview = new PreviewPlaceholder(m_contentFrame);
    m_preview = preview;
    content->addWidget(m_preview);
    m_previewWindow = new CPreviewDlg(m_preview);
    m_previewWindow->hide();

    // Both panels take the same place below the preview; at most one shows.
    auto* panels = new QWidget(m_contentFrame);
    panels->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    auto* panelLayout = new QVBoxLayout(panels);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    m_screenPanel = new CDlgScreenWidget(m_dlg.screenPanel(), panels);
    m_programEditor = new CDlgProgramWidget(m_dlg.programEditor(), panels);
    m_programEditor->onTestDialog = [this] {
        call([this] { m_dlg.onKeyDown(CGlimraDlg::Key::F12); });
    };
    panelLayout->addWidget(m_screenPanel);
    panelLayout->addWidget(m_programEditor);
    m_screenPanel->hide();
    m_programEditor->hide();
    content->addWidget(panels, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_previewButton = new QPushButton(QStringLiteral("Preview"), m_contentFrame);
    m_sendButton = new QPushButton(QStringLiteral("Send"), m_contentFrame);
    for (QPushButton* button : {m_previewButton, m_sendButton}) {
        // Enter never presses a button of this window.
        button->setAutoDefault(false);
        button->setMinimumWidth(96);
        buttons->addWidget(button);
    }
    content->addLayout(buttons);
    connect(m_sendButton, &QPushButton::clicked, this, [this] { runCommand(IDM_FILE_SEND); });
    connect(m_previewButton, &QPushButton::clicked, this, [this] { runCommand(IDM_TOOL_PREVIEW); });

    splitter->addWidget(m_tree);
    splitter->addWidget(m_contentFrame);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({m_treeWidth, 744});
    // Only the person moving the handle changes the tree's width.
    connect(splitter, &QSplitter::splitterMoved, this,
            [this] { m_treeWidth = m_splitter->sizes().value(0, m_treeWidth); });
    outer->addWidget(splitter);
    setCentralWidget(central);

    auto* progressHolder = new QWidget(this);
    auto* progressLayout = new QHBoxLayout(progressHolder);
    progressLayout->setContentsMargins(6, 0, 0, 2);
    m_progress = new QProgressBar(progressHolder);
    m_progress->setTextVisible(false);
    m_progress->setFixedHeight(12);
    progressLayout->addWidget(m_progress);
    statusBar()->addWidget(progressHolder, 1);
    showProgress();

    // The preview is a third of the frame's height and 20 pixels.
    m_contentFrame->installEventFilter(this);

    ScreenTree::Callbacks callbacks;
    callbacks.click = [this](TreeItem item, bool onImage) {
        const bool handled = m_dlg.onTreeClick(item, onImage);
        refreshControls();
        return handled;
    };
    callbacks.rightClick = [this](TreeItem item) {
        m_menuPos = m_tree->contextMenuPos();
        call([&] { m_dlg.onTreeRightClick(item); });
        m_menuPos.reset();
    };
    callbacks.selectionChanged = [this](TreeItem oldItem, TreeItem newItem) {
        call([&] { m_dlg.onSelectionChanged(oldItem, newItem); });
    };
    callbacks.labelEdited = [this](TreeItem item, const QString& text) {
        call([&] { m_dlg.onEndLabelEdit(item, text.toStdU16String()); });
    };
    callbacks.key = [this](int key) {
        const auto which = key == Qt::Key_Escape   ? CGlimraDlg::Key::Escape
                           : key == Qt::Key_F2     ? CGlimraDlg::Key::F2
                           : key == Qt::Key_Delete ? CGlimraDlg::Key::Delete
                                                   : CGlimraDlg::Key::Enter;
        call([&] { m_dlg.onKeyDown(which); });
    };
    m_tree->setCallbacks(std::move(callbacks));
    m_tree->setFocus();
}

bool CMainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_contentFrame && event->type() == QEvent::Resize)
        static_cast<PreviewPlaceholder*>(m_preview)->setPreferredHeight(
            m_contentFrame->height() / 3 + 20);
    // The panels' needs change after the fact too (lists refilled in another
    // language): the window answers each change once its layout has settled.
    if (watched == m_contentFrame && event->type() == QEvent::LayoutRequest && isVisible())
        QTimer::singleShot(0, this, [this] { keepTreeWidth(true); });
    return QMainWindow::eventFilter(watched, event);
}

// --- calls into the controller -----------------------------------------------------------

void CMainWindow::runCommand(int id) {
    call([&] { m_dlg.onCommand(id); });
}

void CMainWindow::refreshControls() {
    m_sendButton->setEnabled(m_dlg.isCommandEnabled(IDM_FILE_SEND));
    m_previewButton->setEnabled(m_dlg.isCommandEnabled(IDM_TOOL_PREVIEW));
}

void CMainWindow::updateMenuState(QMenu* menu) {
    for (QAction* action : menu->actions()) {
        if (action->isSeparator() || action->menu()) continue;
        bool ok = false;
        const int id = action->data().toInt(&ok);
        if (ok && id > 0) action->setEnabled(m_dlg.isCommandEnabled(id));
    }
}

void CMainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    refreshControls();
}

void CMainWindow::closeEvent(QCloseEvent* event) {
    if (m_closeAllowed) {
        event->accept();
        return;
    }
    // The frame's close button asks the controller, which closes the window itself.
    m_inCloseEvent = true;
    m_dlg.onClose();
    m_inCloseEvent = false;
    if (m_closeAllowed) {
        event->accept();
    } else {
        event->ignore();
        refreshControls();
    }
}

void CMainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (m_splitter && m_splitter->sizes().value(0) < m_treeWidth)
        QTimer::singleShot(0, this, [this] { keepTreeWidth(false); });
}

void CMainWindow::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
            call([this] { m_dlg.onKeyDown(CGlimraDlg::Key::Escape); });
            event->accept();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            call([this] { m_dlg.onKeyDown(CGlimraDlg::Key::Enter); });
            event->accept();
            return;
        default:
            QMainWindow::keyPressEvent(event);
    }
}

// --- WindowView --------------------------------------------------------------------------------

void CMainWindow::setTitle(std::u16string_view title) {
    setWindowTitle(toQString(title));
}

void CMainWindow::closeWindow() {
    m_closeAllowed = true;
    // Inside closeEvent a second close() would be ignored; the event is accepted there instead.
    if (!m_inCloseEvent) close();
}

// Set on the application, so the sign windows and every dialog carry it too.
void CMainWindow::setWindowIcon(const std::filesystem::path& file) {
    const QIcon icon(QString::fromStdString(file.string()));
    if (icon.isNull()) return;
    QApplication::setWindowIcon(icon);
    QMainWindow::setWindowIcon(icon);
}

void CMainWindow::showPanel(Panel panel, bool visible) {
    switch (panel) {
        case Panel::Preview:
            m_previewWindow->setVisible(visible);
            break;
        case Panel::ScreenPanel:
            if (visible) m_programEditor->hide();
            m_screenPanel->setVisible(visible);
            break;
        case Panel::ProgramEditor:
            if (visible) m_screenPanel->hide();
            m_programEditor->setVisible(visible);
            break;
    }
    if (visible) keepTreeWidth(true);
}

// A wider panel or longer labels widen the window, as far as the screen
// allows, rather than narrowing the tree the person set; a window made wider
// gives a narrowed tree its width back first.
void CMainWindow::keepTreeWidth(bool mayGrow) {
    QWidget* central = centralWidget();
    if (!m_splitter || !central) return;
    central->layout()->activate();
    const int content = m_contentFrame->minimumSizeHint().width();
    const int needed = m_treeWidth + m_splitter->handleWidth() + content;
    const int grow = needed - m_splitter->width();
    if (mayGrow && grow > 0 && isVisible() && !isMaximized() && !isFullScreen()) {
        const int room =
            screen() ? screen()->availableGeometry().width() - frameGeometry().width() : 0;
        if (room > 0) resize(width() + std::min(grow, room), height());
    }
    const int total = m_splitter->width() - m_splitter->handleWidth();
    const int tree = std::max(m_tree->minimumWidth(), std::min(m_treeWidth, total - content));
    m_splitter->setSizes({tree, std::max(0, total - tree)});
}

void CMainWindow::keepPainting() {
    // Input waits: a click now would start another command in the middle of this one.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void CMainWindow::toolbarChanged() {
    m_toolbar->rebuild();
}

void CMainWindow::showStatus(std::u16string_view text) {
    statusBar()->showMessage(toQString(text), 10000);
}

void CMainWindow::focusMainWindow() {
    activateWindow();
    if (m_tree) m_tree->setFocus();
}

// --- MenuView ----------------------------------------------------------------------------------

void CMainWindow::setMenuText(int id, std::u16string_view text) {
    if (auto command = m_commands.find(id); command != m_commands.end()) {
        const auto shown = m_shownKeys.find(id);
        command->second->setText(toQString(inlineMnemonic(text)) +
                                 (shown != m_shownKeys.end() ? u'\t' + shown->second : QString()));
    } else if (auto submenu = m_submenus.find(id); submenu != m_submenus.end())
        submenu->second->setTitle(toQString(inlineMnemonic(text)));
}

void CMainWindow::replaceEntries(int submenuId, const std::vector<MenuEntry>& entries,
                                 bool separatorFirst, bool escapeAmpersands) {
    const auto found = m_submenus.find(submenuId);
    if (found == m_submenus.end()) return;
    QMenu* menu = found->second;
    std::vector<QAction*>& current = m_entries[submenuId];
    // Later, not now: the list may be rebuilt from a slot of one of its own entries.
    for (QAction* action : current) {
        menu->removeAction(action);
        action->deleteLater();
    }
    current.clear();
    if (separatorFirst) current.push_back(menu->addSeparator());
    bool anyChecked = false;
    for (const MenuEntry& entry : entries)
        anyChecked |= entry.checked;
    for (const MenuEntry& entry : entries) {
        QString text = toQString(entry.label);
        if (escapeAmpersands) text.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* action = addCommand(menu, entry.id, text);
        // A list with a chosen entry marks it, the others showing an empty mark.
        if (anyChecked) {
            action->setCheckable(true);
            action->setChecked(entry.checked);
        }
        current.push_back(action);
    }
}

void CMainWindow::setLanguageMenu(const std::vector<MenuEntry>& entries) {
    replaceEntries(CGlimraDlg::MENU_LANGUAGE, entries, false, false);
}

void CMainWindow::setRecentFilesMenu(const std::vector<MenuEntry>& entries) {
    // Paths are shown as they are, an '&' in one included.
    replaceEntries(CGlimraDlg::MENU_FILE_RECENT, entries, true, true);
}

void CMainWindow::setControlText(int id, std::u16string_view text) {
    if (id == IDC_SEND)
        m_sendButton->setText(toQString(text));
    else if (id == IDC_PREVIEW)
        m_previewButton->setText(toQString(text));
    // The language's texts are being applied: the panel's captions follow.
    m_toolbar->retranslate();
    // Once the new labels are laid out.
    QTimer::singleShot(0, this, [this] { keepTreeWidth(true); });
    emit textsApplied();
}

void CMainWindow::popupContextMenu(const std::vector<MenuEntry>& entries) {
    QMenu menu(this);
    for (const MenuEntry& entry : entries) {
        if (entry.id == 0 && entry.label.empty()) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(toQString(inlineMnemonic(entry.label)));
        action->setData(entry.id);
        action->setEnabled(m_dlg.isCommandEnabled(entry.id));
    }
    const QAction* chosen = menu.exec(m_menuPos.value_or(QCursor::pos()));
    // Delivered before this returns: the controller still knows which item the menu was for.
    if (chosen) runCommand(chosen->data().toInt());
}

// --- DialogHost --------------------------------------------------------------------------------

void CMainWindow::messageBox(std::u16string_view text) {
    QMessageBox box(QMessageBox::Information, QString::fromLatin1(kProgramName), toQString(text),
                    QMessageBox::Ok, this);
    box.exec();
}

std::optional<std::filesystem::path> CMainWindow::openFileDialog(std::u16string_view filterName,
                                                                 std::u16string_view pattern) {
    return chosenPath(
        QFileDialog::getOpenFileName(this, QString(), QString(), fileFilter(filterName, pattern)));
}

std::optional<std::filesystem::path> CMainWindow::saveFileDialog(std::u16string_view filterName,
                                                                 std::u16string_view pattern) {
    // Qt's save dialog asks before replacing an existing file.
    return chosenPath(
        QFileDialog::getSaveFileName(this, QString(), QString(), fileFilter(filterName, pattern)));
}

bool CMainWindow::chooseScreenSize(CScreenSel& dlg) {
    CScreenSelDialog dialog(dlg, m_dlg.app().images(), this);
    return dialog.exec() == QDialog::Accepted;
}

std::optional<int32_t> CMainWindow::readSelectId() {
    QSettings settings;
    const QVariant value = settings.value(QStringLiteral("SelectID"));
    bool ok = false;
    const int index = value.toInt(&ok);
    if (!value.isValid() || !ok) return std::nullopt;
    return index;
}

void CMainWindow::writeSelectId(int32_t index) {
    QSettings settings;
    settings.setValue(QStringLiteral("SelectID"), index);
}

bool CMainWindow::runPictureLibrary(CImgInfoDlg& dlg) {
    CImgInfoDialog dialog(dlg, this);
    return dialog.exec() == QDialog::Accepted;
}

bool CMainWindow::runSystemSettings(CSystemSettingDlg& dlg) {
    CSystemSettingDialog dialog(dlg, this);
    return dialog.exec() == QDialog::Accepted;
}

bool CMainWindow::runAboutDialog(std::u16string_view titleLine, std::u16string_view checkLabel,
                                 bool& autoUpdate) {
    QDialog dialog(this);
    dialog.setWindowTitle(QString::fromLatin1(kProgramName));
    auto* layout = new QVBoxLayout(&dialog);
    layout->setContentsMargins(18, 16, 18, 12);
    layout->setSpacing(10);
    auto* title = new QLabel(toQString(titleLine), &dialog);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    layout->addWidget(title);
    const QString version = QCoreApplication::applicationVersion();
    if (!version.isEmpty())
        layout->addWidget(
            new QLabel(QString::fromLatin1(kProgramName) + QLatin1Char(' ') + version, &dialog));
    auto* check = new QCheckBox(toQString(checkLabel), &dialog);
    check->setChecked(autoUpdate);
    layout->addWidget(check);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.setMinimumWidth(320);
    if (dialog.exec() != QDialog::Accepted) return false;
    autoUpdate = check->isChecked();
    return true;
}

void CMainWindow::runTestDialog(CDialogTest& dlg) {
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("CDialogTest"));
    dialog.setWindowTitle(toQString(m_dlg.language().text(u"TestScreen")));
    auto* layout = new QVBoxLayout(&dialog);
    layout->setContentsMargins(16, 14, 16, 14);
    layout->setSpacing(8);
    for (const CDialogTest::Button& b : CDialogTest::kButtons) {
        auto* button = new QPushButton(toQString(dlg.label(b.id)), &dialog);
        button->setObjectName(QStringLiteral("testButton%1").arg(b.id));
        button->setAutoDefault(false);
        button->setMinimumWidth(200);
        // The pattern goes out through the main window's message; the dialog stays.
        connect(button, &QPushButton::clicked, &dialog, [&dlg, id = b.id] { dlg.onButton(id); });
        layout->addWidget(button);
    }
    dialog.exec();
}

void CMainWindow::runClustersSend(CClustersSend& dlg) {
    CClustersSendDialog dialog(dlg, this);
    dialog.exec();
}

void CMainWindow::runAddImages(CDialogAddImages& dlg) {
    // Its messages reach the controller through this window's queue, as posted ones do.
    CDialogAddImagesDialog dialog(
        dlg,
        [this](uint32_t message, uintptr_t wParam, intptr_t lParam) {
            postMessage(message, wParam, lParam);
        },
        this);
    dialog.exec();
}

// Modeless: the controller replaces an open editor through destroyBmpEdit() first.
void CMainWindow::showBmpEdit(CBmpEdit& dlg) {
    auto* editor = new CBmpEditDialog(dlg, this);
    editor->initDialog();
    editor->show();
}

// Taken away without its close box, so it writes nothing.
void CMainWindow::destroyBmpEdit() {
    delete findChild<CBmpEditDialog*>(QString(), Qt::FindDirectChildrenOnly);
}

void CMainWindow::informationBox(std::u16string_view text) {
    QMessageBox::information(this, QString::fromLatin1(kProgramName), toQString(text));
}

bool CMainWindow::askYesNo(std::u16string_view text) {
    return QMessageBox::question(this, QString::fromLatin1(kProgramName), toQString(text),
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}

DialogHost::SaveChoice CMainWindow::askSaveChanges(const SaveQuestion& question) {
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(kProgramName),
                    toQString(question.text), QMessageBox::NoButton, this);
    QPushButton* save =
        box.addButton(toQString(inlineMnemonic(question.save)), QMessageBox::AcceptRole);
    QPushButton* discard =
        box.addButton(toQString(inlineMnemonic(question.discard)), QMessageBox::DestructiveRole);
    QPushButton* cancel =
        box.addButton(toQString(inlineMnemonic(question.cancel)), QMessageBox::RejectRole);
    save->setObjectName(QStringLiteral("save"));
    discard->setObjectName(QStringLiteral("discard"));
    cancel->setObjectName(QStringLiteral("cancel"));
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == save) return SaveChoice::save;
    if (box.clickedButton() == discard) return SaveChoice::discard;
    return SaveChoice::cancel;
}

bool CMainWindow::runDownloadTip(update::CDownLoadTipDlg& dlg) {
    DownLoadTipDialog dialog(dlg, this);
    return dialog.exec() == QDialog::Accepted;
}

// The transfer's news comes back through postTask, which this modal loop goes on serving.
bool CMainWindow::runDownload(update::CDownLoadDlg& dlg) {
    DownLoadDialog dialog(dlg, this);
    return dialog.exec() == QDialog::Accepted;
}

bool CMainWindow::runCustomToolBar(CCustomToolBar& dlg, std::string* error) {
    // The dialog's title is the command's name in the language's command list.
    QString title;
    for (const platform::TextListEntry& e : m_dlg.language().list(u"MenuItem"))
        if (toQString(e.value) == QString::number(IDM_TOOL_CUSTOM_TOOLBAR))
            title = toQString(e.text);
    CCustomToolBarDialog dialog(dlg, error, title, this);
    return dialog.exec() == QDialog::Accepted;
}

// --- TimerHost -------------------------------------------------------------------------------

bool CMainWindow::onOwnThread() const {
    return QThread::currentThread() == thread();
}

// A firmware worker's transfer starts timers too; Qt's belong to the window's thread.
void CMainWindow::startTimer(int id, int milliseconds) {
    if (postedToOwnThread([this, id, milliseconds] { startTimer(id, milliseconds); })) return;
    m_timers.start(id, milliseconds);
}

void CMainWindow::stopTimer(int id) {
    if (postedToOwnThread([this, id] { stopTimer(id); })) return;
    m_timers.stop(id);
}

void CMainWindow::postMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    // Safe from any thread: the call is queued to this window's thread, and
    // dropped if the window is gone by then.
    QMetaObject::invokeMethod(
        this,
        [this, message, wParam, lParam] {
            call([&] { m_dlg.onMessage(message, wParam, lParam); });
        },
        Qt::QueuedConnection);
}

void CMainWindow::postMessageTo(uintptr_t window, uint32_t message, uintptr_t wParam,
                                intptr_t lParam) {
    QMetaObject::invokeMethod(
        this,
        [this, window, message, wParam, lParam] {
            if (auto found = m_messageTargets.find(window); found != m_messageTargets.end())
                found->second(message, wParam, lParam);
        },
        Qt::QueuedConnection);
}

void CMainWindow::postTask(std::function<void()> task) {
    // Queued like postMessage: safe from any thread, dropped with the window.
    QMetaObject::invokeMethod(
        this, [this, task = std::move(task)] { call([&] { task(); }); }, Qt::QueuedConnection);
}

void CMainWindow::registerMessageTarget(uintptr_t id, MessageTarget target) {
    m_messageTargets[id] = std::move(target);
}

void CMainWindow::unregisterMessageTarget(uintptr_t id) {
    m_messageTargets.erase(id);
}

// --- ProgressView ----------------------------------------------------------------------------

void CMainWindow::setProgressRange(int low, int high) {
    if (postedToOwnThread([this, low, high] { setProgressRange(low, high); })) return;
    m_progressLow = low;
    m_progressHigh = std::max(low, high);
    m_progressPos = std::clamp(m_progressPos, m_progressLow, m_progressHigh);
    showProgress();
}

void CMainWindow::setProgressStep(int step) {
    if (postedToOwnThread([this, step] { setProgressStep(step); })) return;
    m_progressStep = step;
}

void CMainWindow::setProgressPos(int pos) {
    if (postedToOwnThread([this, pos] { setProgressPos(pos); })) return;
    m_progressPos = std::clamp(pos, m_progressLow, m_progressHigh);
    showProgress();
}

void CMainWindow::stepProgress() {
    if (postedToOwnThread([this] { stepProgress(); })) return;
    // Past either end the position wraps round, as a native progress bar's does.
    const long long low = m_progressLow, high = m_progressHigh, span = high - low;
    if (span == 0) return;
    long long pos = static_cast<long long>(m_progressPos) + m_progressStep;
    if (pos > high) pos = (pos - low) % span + low;
    if (pos < low) pos = (pos - low) % span + high;
    m_progressPos = static_cast<int>(pos);
    showProgress();
}

// --- PreviewView -------------------------------------------------------------------------------

void CMainWindow::restartPreview(std::vector<uint8_t> image, std::vector<uint8_t> animationSet,
                                 int temperature, std::vector<std::u16string> names) {
    m_previewWindow->restart(std::move(image), std::move(animationSet), temperature,
                             std::move(names));
}

void CMainWindow::showProgress() {
    // An empty range would make QProgressBar show its busy animation.
    if (m_progressLow == m_progressHigh) {
        m_progress->setRange(0, 1);
        m_progress->setValue(0);
    } else {
        m_progress->setRange(m_progressLow, m_progressHigh);
        m_progress->setValue(m_progressPos);
    }
    // Transfers block this thread, so the bar is drawn now rather than after them.
    m_progress->repaint();
}
