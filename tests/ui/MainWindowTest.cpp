#include "app/AppFolders.h"
#include "app/CGlimraApp.h"
#include "app/CGlimraDlg.h"
#include "app/Commands.h"
#include "app/LanguageTable.h"
#include "app/ui/CMainWindow.h"
#include "app/ui/ScreenTree.h"
#include "assets/ui/CImgInfoDialog.h"
#include "content/ui/CDlgProgramWidget.h"
#include "device/sim/SimulatedSign.h"
#include "device/ui/CVirtualSignWindow.h"
#include "platform/qt/QtFontCatalog.h"
#include "platform/qt/QtImageCodec.h"
#include "platform/qt/QtTextRenderer.h"
#include "project/ui/CScreenSelDialog.h"
#include "support/ProjectXml.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileDialog>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QWheelEvent>
#include <QtTest>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

using Handle = ScreenTree::TreeItem;

namespace {

std::filesystem::path fsPath(const QString& path) {
    return std::filesystem::path(path.toStdString());
}

// Answers the dialogs and menus the program opens, one expected step at a
// time. Anything else that opens is closed and recorded, so a surprise fails
// the test instead of blocking it.
class ModalPilot : public QObject {
public:
    // False when the widget is not the one the step is for.
    using Step = std::function<bool(QWidget*)>;

    ModalPilot() {
        connect(&m_timer, &QTimer::timeout, this, &ModalPilot::poll);
        m_timer.start(5);
    }

    void expect(Step step) { m_steps.push_back(std::move(step)); }
    bool done() const { return m_steps.empty(); }
    const QStringList& unexpected() const { return m_unexpected; }

private:
    void poll() {
        QWidget* widget = QApplication::activePopupWidget();
        if (!widget) widget = QApplication::activeModalWidget();
        if (!widget || !widget->isVisible() || m_busy) return;
        m_busy = true;
        bool handled = false;
        if (!m_steps.empty()) {
            Step step = std::move(m_steps.front());
            m_steps.pop_front();
            handled = step(widget);
        }
        if (!handled) {
            QString what = QString::fromLatin1(widget->metaObject()->className());
            if (auto* box = qobject_cast<QMessageBox*>(widget))
                what += QStringLiteral(": ") + box->text();
            m_unexpected << what;
            widget->close();
        }
        m_busy = false;
    }

    QTimer m_timer;
    std::deque<Step> m_steps;
    QStringList m_unexpected;
    bool m_busy = false;
};

ModalPilot::Step acceptScreenSize() {
    return [](QWidget* widget) {
        auto* dialog = qobject_cast<QDialog*>(widget);
        if (!dialog || dialog->objectName() != QStringLiteral("CScreenSel")) return false;
        dialog->accept();
        return true;
    };
}

ModalPilot::Step saveAs(const QString& file) {
    return [file](QWidget* widget) {
        auto* dialog = qobject_cast<QFileDialog*>(widget);
        if (!dialog || dialog->acceptMode() != QFileDialog::AcceptSave) return false;
        dialog->selectFile(file);
        // QFileDialog's accept() checks the name as the OK button does; it is protected there.
        static_cast<QDialog*>(dialog)->accept();
        return true;
    };
}

ModalPilot::Step chooseFromMenu(int id) {
    return [id](QWidget* widget) {
        auto* menu = qobject_cast<QMenu*>(widget);
        if (!menu) return false;
        for (QAction* action : menu->actions()) {
            if (action->data().toInt() != id) continue;
            menu->setActiveAction(action);
            QTest::keyClick(menu, Qt::Key_Return);
            return true;
        }
        return false;
    };
}

// The desktop's "open", noted instead of done.
struct RecordingShell : platform::Shell {
    bool open(const std::filesystem::path& path) override {
        opened.push_back(path);
        return true;
    }
    std::vector<std::filesystem::path> opened;
};

// The window and its controller; the window goes first, as in the program.
struct Session {
    explicit Session(const AppFolders& folders) : dlg(app, folders), window(dlg) {}

    ScreenTree* tree() { return window.findChild<ScreenTree*>(); }

    // The menu bar's action for a command, made ready as opening its menu would.
    QAction* command(int id) {
        for (QMenu* menu : window.findChildren<QMenu*>())
            for (QAction* action : menu->actions())
                if (!action->menu() && !action->isSeparator() && action->data().toInt() == id) {
                    emit menu->aboutToShow();
                    return action;
                }
        return nullptr;
    }

    QMenu* submenu(int id) {
        for (QMenu* menu : window.findChildren<QMenu*>())
            if (menu->menuAction()->data().toInt() == id) return menu;
        return nullptr;
    }

    RecordingShell shell;
    platform::QtImageCodec images;
    platform::QtFontCatalog fonts;
    platform::QtTextRenderer text{fonts};
    platform::VirtualClock clock;
    SimulatedSign signs{clock};
    CGlimraApp app{{shell, images, fonts, text, signs, clock}};
    CGlimraDlg dlg;
    CMainWindow window;
};

// A run on fresh data and temporary folders, started (the first screen's size
// accepted) and shown.
struct Run {
    Run(const QString& programDir, uint16_t languageId) {
        session = std::make_unique<Session>(
            AppFolders(fsPath(data.path()), fsPath(programDir), fsPath(temp.path())));
        session->dlg.setSystemLanguageId(languageId);
        pilot.expect(acceptScreenSize());
        session->dlg.onInitDialog();
        session->window.show();
    }
    bool ready() const { return data.isValid() && temp.isValid() && pilot.done(); }

    QTemporaryDir data, temp;
    ModalPilot pilot;
    std::unique_ptr<Session> session;
};

// What a ScreenTree tells its owner.
struct TreeLog {
    void attach(ScreenTree& tree) {
        ScreenTree::Callbacks callbacks;
        callbacks.selectionChanged = [this, &tree](Handle oldItem, Handle newItem) {
            changes.emplace_back(oldItem, newItem);
            selectedDuringReport.push_back(tree.selectedItem());
            if (onChange) onChange(oldItem, newItem);
        };
        callbacks.click = [this](Handle item, bool onImage) {
            clicks.emplace_back(item, onImage);
            return consumeClicks;
        };
        callbacks.labelEdited = [this](Handle item, const QString& text) {
            edits.emplace_back(item, text);
        };
        tree.setCallbacks(std::move(callbacks));
    }

    std::vector<std::pair<Handle, Handle>> changes;
    std::vector<Handle> selectedDuringReport;
    std::vector<std::pair<Handle, bool>> clicks;
    std::vector<std::pair<Handle, QString>> edits;
    std::function<void(Handle, Handle)> onChange;
    bool consumeClicks = false;
};

using Change = std::pair<Handle, Handle>;

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void projectSurvivesSaveCloseAndRestart();
    void editsReachTheFileOnSaveAndOnClose();
    void contextMenuActsOnTheItemUnderTheCursor();

    void treeWalksAndRefusesBadHandles();
    void selectionIsReportedOncePerChange();
    void deletionSurvivesAnOwnerActingWhileTold();
    void checkImageClickIsOfferedFirst();
    void labelEditGoesToTheOwner();

    void switchingLanguageRelabelsTheWindow();
    void theTreeKeepsItsWidth();
    void systemSettingsDialogStoresTheChoice();
    void pictureLibraryShowsTheShippedPictures();

    void progressStepsWrapRound();
    void progressAndTimersFromAnotherThread();
    void testPatternsAndSendReachTheSign();
    void screenSizeDialogShowsTheCatalogue();
    void signWindowsEndWithTheMainWindow();

private:
    QString m_programDir;
};

void MainWindowTest::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    QApplication::setQuitOnLastWindowClosed(false);
    m_programDir = qEnvironmentVariable("ZENTARI_PROGRAM_DIR");
    QVERIFY2(!m_programDir.isEmpty(), "ZENTARI_PROGRAM_DIR names the staged program folder");
    QVERIFY(QFile::exists(m_programDir + QStringLiteral("/Images/Res/checkStatus0.bmp")));
}

void MainWindowTest::projectSurvivesSaveCloseAndRestart() {
    QTemporaryDir data, temp, documents;
    QVERIFY(data.isValid() && temp.isValid() && documents.isValid());
    const AppFolders folders(fsPath(data.path()), fsPath(m_programDir), fsPath(temp.path()));
    const QString saved = documents.filePath(QStringLiteral("show.vqd"));
    ModalPilot pilot;
    QString screenLabel;
    QStringList programLabels;

    {
        auto session = std::make_unique<Session>(folders);
        // No autosave yet: the first screen's size is asked for.
        pilot.expect(acceptScreenSize());
        session->dlg.onInitDialog();
        QVERIFY(pilot.done());
        session->window.show();

        ScreenTree* tree = session->tree();
        QVERIFY(tree);
        QCOMPARE(tree->topLevelItemCount(), 1);
        QTreeWidgetItem* screen = tree->topLevelItem(0);
        QCOMPARE(screen->childCount(), 1);

        QAction* newProgram = session->command(IDM_FILE_NEW_PROGRAM);
        QVERIFY(newProgram && newProgram->isEnabled());
        newProgram->trigger();
        QCOMPARE(screen->childCount(), 2);
        QCOMPARE(tree->itemCount(), 3);

        // Neither key acts or closes anything.
        QTest::keyClick(tree, Qt::Key_Escape);
        QTest::keyClick(tree, Qt::Key_Return);
        QVERIFY(session->window.isVisible());
        QCOMPARE(screen->childCount(), 2);

        screenLabel = screen->text(0);
        programLabels = {screen->child(0)->text(0), screen->child(1)->text(0)};
        QVERIFY(programLabels[0] != programLabels[1]);

        // Untitled, so Save asks for a name.
        pilot.expect(saveAs(saved));
        QAction* save = session->command(IDM_FILE_SAVE);
        QVERIFY(save && save->isEnabled());
        save->trigger();
        QVERIFY(pilot.done());
        QVERIFY(QFileInfo::exists(saved));

        // The frame's close button: the controller writes the autosave and closes.
        QVERIFY(session->window.close());
        QVERIFY(!session->window.isVisible());
        session.reset();
    }

    {
        Session session(folders);
        session.dlg.onInitDialog();
        session.window.show();
        ScreenTree* tree = session.tree();
        QCOMPARE(tree->topLevelItemCount(), 1);
        QTreeWidgetItem* screen = tree->topLevelItem(0);
        QCOMPARE(screen->text(0), screenLabel);
        QCOMPARE(screen->childCount(), 2);
        QCOMPARE(screen->child(0)->text(0), programLabels[0]);
        QCOMPARE(screen->child(1)->text(0), programLabels[1]);

        // The restored autosave heads the recent files; the saved file comes next.
        auto canonical = [](const std::u16string& path) {
            return QFileInfo(QString::fromStdU16String(path)).canonicalFilePath();
        };
        const auto& recent = session.dlg.project().recentFiles().paths();
        QVERIFY(recent.size() >= 2);
        QCOMPARE(canonical(recent[0]),
                 QFileInfo(data.filePath(QStringLiteral("lastScreen.xml"))).canonicalFilePath());
        QCOMPARE(canonical(recent[1]), QFileInfo(saved).canonicalFilePath());
        // The menu shows the list after a separator.
        QMenu* recentMenu = session.submenu(CGlimraDlg::MENU_FILE_RECENT);
        QVERIFY(recentMenu);
        const QList<QAction*> entries = recentMenu->actions();
        QVERIFY(entries.size() >= 3);
        QVERIFY(entries[0]->isSeparator());
        QCOMPARE(entries[2]->data().toInt(), ID_RECENT_FIRST + 1);
        QVERIFY2(entries[2]->text().endsWith(QString::fromStdU16String(recent[1])),
                 qPrintable(entries[2]->text()));
    }
    QVERIFY2(pilot.unexpected().isEmpty(),
             qPrintable(pilot.unexpected().join(QStringLiteral("; "))));
}

void MainWindowTest::editsReachTheFileOnSaveAndOnClose() {
    QTemporaryDir documents;
    QVERIFY(documents.isValid());
    Run run(m_programDir, 0x0409);
    QVERIFY(run.ready());
    Session& session = *run.session;
    const QString saved = documents.filePath(QStringLiteral("shop.vqd"));
    auto qstr = [](const std::u16string& s) { return QString::fromStdU16String(s); };

    // Untitled: the first Save asks for the name; the next ones do not.
    run.pilot.expect(saveAs(saved));
    QAction* save = session.command(IDM_FILE_SAVE);
    QVERIFY(save && save->isEnabled());
    save->trigger();
    QVERIFY(run.pilot.done());

    // Typed into the selected program's text box, a placement changed and the
    // screen panel renamed; no selection change commits any of it.
    auto* editor = session.window.findChild<CDlgProgramWidget*>();
    QVERIFY(editor);
    auto* box = editor->findChild<QTextEdit*>(QStringLiteral("text"));
    auto* offsetX = editor->findChild<QSpinBox*>(QStringLiteral("offsetX"));
    QVERIFY(box && offsetX);
    QTest::keyClicks(box, QStringLiteral("Sale"));
    offsetX->setValue(-5);
    session.dlg.screenPanel().setName(u"Shop window");
    session.command(IDM_FILE_SAVE)->trigger();

    std::vector<testing_support::XmlScreen> screens;
    QVERIFY(testing_support::readProjectXml(fsPath(saved), screens));
    QCOMPARE(screens.size(), size_t(1));
    QCOMPARE(qstr(screens[0].attributes[u"name"]), QStringLiteral("Shop window"));
    QCOMPARE(screens[0].programs.size(), size_t(1));
    QCOMPARE(qstr(screens[0].programs[0].attributes[u"OffsetX"]), QStringLiteral("-5"));
    QCOMPARE(qstr(screens[0].programs[0].items[u"TextContent"]), QStringLiteral("Sale"));

    // More of both, then the frame's close button: the autosave has them.
    QTest::keyClicks(box, QStringLiteral("!"));
    session.dlg.screenPanel().setName(u"Shop door");
    QVERIFY(session.window.close());
    QVERIFY(testing_support::readProjectXml(
        fsPath(run.data.filePath(QStringLiteral("lastScreen.xml"))), screens));
    QCOMPARE(screens.size(), size_t(1));
    QCOMPARE(qstr(screens[0].attributes[u"name"]), QStringLiteral("Shop door"));
    QCOMPARE(screens[0].programs.size(), size_t(1));
    QCOMPARE(qstr(screens[0].programs[0].attributes[u"OffsetX"]), QStringLiteral("-5"));
    QCOMPARE(qstr(screens[0].programs[0].items[u"TextContent"]), QStringLiteral("Sale!"));
    QVERIFY2(run.pilot.unexpected().isEmpty(),
             qPrintable(run.pilot.unexpected().join(QStringLiteral("; "))));
}

void MainWindowTest::switchingLanguageRelabelsTheWindow() {
    Run run(m_programDir, 0x0409);
    QVERIFY(run.ready());
    Session& session = *run.session;
    ModalPilot& pilot = run.pilot;

    // The texts as the shipped files have them.
    LanguageTable files;
    files.findLanguages(fsPath(m_programDir));
    const QString chinese = QString::fromUtf8("\u7B80\u4F53\u4E2D\u6587");
    const int chineseId = [&] {
        for (const auto& l : files.languages())
            if (QString::fromStdU16String(l.name) == chinese) return l.menuId;
        return 0;
    }();
    QVERIFY(chineseId != 0);
    files.loadByName(u"English");
    const QString englishFile = QString::fromStdU16String(files.text(u"mFile"));
    const QString englishSend = QString::fromStdU16String(files.text(u"Send"));
    files.loadByMenuId(chineseId);
    const QString chineseFile = QString::fromStdU16String(files.text(u"mFile"));
    const QString chineseSend = QString::fromStdU16String(files.text(u"Send"));
    const QString chinesePreview = QString::fromStdU16String(files.text(u"Preview"));
    QVERIFY(chineseFile != englishFile && chineseSend != englishSend);

    QMenu* file = session.submenu(CGlimraDlg::MENU_FILE);
    QVERIFY(file);
    QCOMPARE(file->title(), englishFile);
    auto button = [&](const QString& text) {
        for (QPushButton* b : session.window.findChildren<QPushButton*>())
            if (b->text() == text) return b;
        return static_cast<QPushButton*>(nullptr);
    };
    QVERIFY(button(englishSend));
    // The editor's "(&P)" is a mnemonic on the label, not a bracket after it.
    QCOMPARE(session.command(ID_IMAGE_EDITOR)->text(), QStringLiteral("&Pixel Editor"));

    // A virtual sign's window speaks the window's language, as the program wires it.
    platform::SteadyClock clock;
    SimulatedSign signs(clock, {{48, 12}});
    CVirtualSignWindow sign(signs, 0, session.dlg.language());
    connect(&session.window, &CMainWindow::textsApplied, &sign, &CVirtualSignWindow::retranslate);
    QCOMPARE(sign.windowTitle(), QStringLiteral("Virtual sign 1 \u2014 48 \u00d7 12"));
    auto* status = sign.findChild<QLabel*>(QStringLiteral("status"));
    QVERIFY(status);
    QCOMPARE(status->text(), QStringLiteral("48 \u00d7 12 LEDs, nothing received yet"));

    // The Language menu lists the files by name and marks the one in use;
    // choosing one relabels at once and moves the mark.
    QMenu* languages = session.submenu(CGlimraDlg::MENU_LANGUAGE);
    QVERIFY(languages);
    auto entry = [&](const QString& name) {
        for (QAction* a : languages->actions())
            if (a->text() == name) return a;
        return static_cast<QAction*>(nullptr);
    };
    QVERIFY(entry(QStringLiteral("English")) && entry(QStringLiteral("English"))->isChecked());
    QAction* choice = entry(chinese);
    QVERIFY(choice);
    QVERIFY(!choice->isChecked());
    QCOMPARE(choice->data().toInt(), chineseId);
    choice->trigger();
    QCOMPARE(file->title(), chineseFile);
    QVERIFY(button(chineseSend));
    QVERIFY(button(chinesePreview));
    QVERIFY(entry(chinese) && entry(chinese)->isChecked());
    QVERIFY(!entry(QStringLiteral("English"))->isChecked());
    // A Chinese label keeps its bracketed key, the way such labels carry one.
    QCOMPARE(session.command(ID_IMAGE_EDITOR)->text(),
             QString::fromUtf8("\u56FE\u7247\u7F16\u8F91\u5668(&P)"));
    QCOMPARE(sign.windowTitle(),
             QString::fromUtf8("\u865A\u62DF\u663E\u793A\u5C4F 1 \u2014 48 \u00d7 12"));
    QCOMPARE(status->text(),
             QString::fromUtf8("48 \u00d7 12 \u4E2A LED\uFF0C\u5C1A\u672A\u6536\u5230"
                               "\u6570\u636E"));
    QCOMPARE(session.dlg.settings().languageName, chinese.toStdU16String());
    QVERIFY2(pilot.unexpected().isEmpty(),
             qPrintable(pilot.unexpected().join(QStringLiteral("; "))));
}

// The tree keeps the width it has when the editor opens beside it and when a
// language with longer labels comes in: the window grows instead.
void MainWindowTest::theTreeKeepsItsWidth() {
    Run run(m_programDir, 0x0409);
    QVERIFY(run.ready());
    Session& session = *run.session;
    QVERIFY2(session.window.screen()->availableGeometry().width() >= 1600,
             "the test runs on a desktop-sized screen (tests/ui/offscreen-wide.json)");
    ScreenTree* tree = session.tree();
    auto* editor = session.window.findChild<CDlgProgramWidget*>();
    QVERIFY(tree && editor);

    // The screen's panel is narrow: the tree has its width in a window of 1000.
    const auto screen = tree->firstChild(ScreenTree::kNoItem);
    tree->selectItem(screen);
    session.window.resize(1000, 680);
    QTRY_COMPARE(tree->width(), 240);

    // The editor needs more than the rest of that window.
    tree->selectItem(tree->firstChild(screen));
    QVERIFY(editor->isVisible());
    QCoreApplication::processEvents();
    QCOMPARE(tree->width(), 240);
    QVERIFY(editor->width() >= editor->minimumSizeHint().width());
    const int english = session.window.width();

    // German labels are longer still.
    QMenu* languages = session.submenu(CGlimraDlg::MENU_LANGUAGE);
    QVERIFY(languages);
    for (QAction* a : languages->actions())
        if (a->text() == QStringLiteral("Deutsch")) a->trigger();
    QCOMPARE(session.dlg.language().name(), std::u16string(u"Deutsch"));
    QTRY_VERIFY(session.window.width() > english);
    QCOMPARE(tree->width(), 240);
    QVERIFY(editor->width() >= editor->minimumSizeHint().width());
}

void MainWindowTest::systemSettingsDialogStoresTheChoice() {
    Run run(m_programDir, 0x0409);
    QVERIFY(run.ready());
    Session& session = *run.session;
    ModalPilot& pilot = run.pilot;
    session.dlg.settings().tempOffset = -3;

    QStringList shown;
    int shownSelection = -1;
    auto answer = [&](int playMode, int offset, bool ok) {
        return [&, playMode, offset, ok](QWidget* widget) {
            auto* dialog = qobject_cast<QDialog*>(widget);
            const auto boxes = widget->findChildren<QComboBox*>();
            if (!dialog || boxes.size() != 2) return false;
            QComboBox* tempBox = boxes[0]->count() == 15 ? boxes[0] : boxes[1];
            QComboBox* modeBox = tempBox == boxes[0] ? boxes[1] : boxes[0];
            shown.clear();
            for (int i = 0; i < tempBox->count(); ++i)
                shown << tempBox->itemText(i);
            shownSelection = tempBox->currentIndex();
            modeBox->setCurrentIndex(playMode);
            tempBox->setCurrentIndex(offset);
            ok ? dialog->accept() : dialog->reject();
            return true;
        };
    };
    pilot.expect(answer(1, 14, false));
    session.dlg.onCommand(ID_SYSTEM_SETTINGS);
    QVERIFY(pilot.done());
    QCOMPARE(shown.size(), 15);
    QCOMPARE(shown.front(), QStringLiteral("-7"));
    QCOMPARE(shown[8], QStringLiteral("+1"));
    QCOMPARE(shownSelection, 4);  // "-3"
    QCOMPARE(session.dlg.settings().playMode, 0);
    QCOMPARE(session.dlg.settings().tempOffset, -3);

    pilot.expect(answer(1, 14, true));
    session.dlg.onCommand(ID_SYSTEM_SETTINGS);
    QVERIFY(pilot.done());
    QCOMPARE(session.dlg.settings().playMode, 1);
    QCOMPARE(session.dlg.settings().tempOffset, 7);
    QVERIFY2(pilot.unexpected().isEmpty(),
             qPrintable(pilot.unexpected().join(QStringLiteral("; "))));
}

void MainWindowTest::pictureLibraryShowsTheShippedPictures() {
    Run run(m_programDir, 0x0409);
    QVERIFY(run.ready());
    Session& session = *run.session;
    QStringList ids;
    QString path;
    bool previewLit = false;
    QSize signLookSize;
    int litLeds = 0;
    run.pilot.expect([&](QWidget* widget) {
        auto* dialog = qobject_cast<CImgInfoDialog*>(widget);
        if (!dialog) return false;
        auto* box = dialog->findChild<QComboBox*>();
        for (int i = 0; box && i < box->count(); ++i)
            ids << box->itemText(i);
        if (auto* edit = dialog->findChild<QLineEdit*>()) path = edit->text();
        // The first picture is drawn into the black preview.
        for (QLabel* label : dialog->findChildren<QLabel*>()) {
            const QImage shown = label->pixmap().toImage();
            for (int y = 0; y < shown.height() && !previewLit; ++y)
                for (int x = 0; x < shown.width() && !previewLit; ++x)
                    previewLit = qRed(shown.pixel(x, y)) >= 100;
        }
        // Below it the sign's look: the heart's red LEDs, three pixels each.
        if (auto* look = dialog->findChild<QLabel*>(QStringLiteral("signLook"))) {
            const QImage shown = look->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
            signLookSize = shown.size();
            for (int y = 0; y < shown.height(); ++y)
                for (int x = 0; x < shown.width(); ++x)
                    litLeds += shown.pixel(x, y) == 0xFFFF3C28u;
        }
        dialog->accept();
        return true;
    });
    session.dlg.onCommand(ID_PICTURE_SETTINGS);
    QVERIFY(run.pilot.done());
    QCOMPARE(ids.size(), 8);
    QCOMPARE(ids.front(), QStringLiteral("IMG50"));
    QVERIFY2(path.endsWith(QStringLiteral("/Images/Pictures/heart.png")), qPrintable(path));
    QVERIFY(QFileInfo::exists(path));
    QVERIFY(previewLit);
    // The heart is 12 × 11 with 91 red pixels (and one white): 92 LEDs of 2 × 2.
    QCOMPARE(signLookSize, QSize(36, 33));
    QCOMPARE(litLeds, 92 * 4);
    // OK wrote the user's library.
    QVERIFY(QFileInfo::exists(run.data.filePath(QStringLiteral("imageconfig.xml"))));
    QVERIFY2(run.pilot.unexpected().isEmpty(),
             qPrintable(run.pilot.unexpected().join(QStringLiteral("; "))));
}

void MainWindowTest::contextMenuActsOnTheItemUnderTheCursor() {
    Run run(m_programDir, 0x0409);
    QVERIFY(run.ready());
    Session& session = *run.session;
    ModalPilot& pilot = run.pilot;
    QAction* newProgram = session.command(IDM_FILE_NEW_PROGRAM);
    QVERIFY(newProgram);
    newProgram->trigger();

    ScreenTree* tree = session.tree();
    QTreeWidgetItem* screen = tree->topLevelItem(0);
    QCOMPARE(screen->childCount(), 2);
    QTreeWidgetItem* first = screen->child(0);
    QTreeWidgetItem* second = screen->child(1);
    const QString firstLabel = first->text(0);
    tree->selectItem(ScreenTree::handleOf(first));

    // Delete on the menu of the other program removes that one, not the selection.
    pilot.expect(chooseFromMenu(ID_TREE_DELETE));
    const QPoint pos = tree->visualItemRect(second).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, tree->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(tree->viewport(), &event);
    QVERIFY(pilot.done());
    QCOMPARE(screen->childCount(), 1);
    QCOMPARE(screen->child(0)->text(0), firstLabel);
    QCOMPARE(tree->itemCount(), 2);
    QVERIFY2(pilot.unexpected().isEmpty(),
             qPrintable(pilot.unexpected().join(QStringLiteral("; "))));
}

void MainWindowTest::treeWalksAndRefusesBadHandles() {
    ScreenTree tree;
    TreeLog log;
    log.attach(tree);
    const Handle a = tree.insertItem(ScreenTree::kNoItem, u"A");
    const Handle b = tree.insertItem(ScreenTree::kNoItem, u"B");
    const Handle a1 = tree.insertItem(a, u"A1");
    const Handle a2 = tree.insertItem(a, u"A2");
    QVERIFY(a && b && a1 && a2);
    QCOMPARE(tree.itemCount(), 4);

    QCOMPARE(tree.firstChild(ScreenTree::kNoItem), a);
    QCOMPARE(tree.nextSibling(a), b);
    QCOMPARE(tree.nextSibling(b), ScreenTree::kNoItem);
    QCOMPARE(tree.previousSibling(a), ScreenTree::kNoItem);
    QCOMPARE(tree.previousSibling(b), a);
    QCOMPARE(tree.firstChild(a), a1);
    QCOMPARE(tree.nextSibling(a1), a2);
    QCOMPARE(tree.previousSibling(a2), a1);
    QCOMPARE(tree.nextSibling(a2), ScreenTree::kNoItem);
    QCOMPARE(tree.parentItem(a2), a);
    QCOMPARE(tree.parentItem(a), ScreenTree::kNoItem);
    QCOMPARE(tree.firstChild(b), ScreenTree::kNoItem);

    tree.setItemData(a1, 0x10002u);
    tree.setItemImage(a1, 2);
    QCOMPARE(tree.itemData(a1), 0x10002u);
    QCOMPARE(tree.itemImage(a1), 2);
    QCOMPARE(tree.itemImage(a2), 0);

    // Handles that were never issued.
    const Handle bogus = 0x1234;
    QCOMPARE(tree.insertItem(bogus, u"X"), ScreenTree::kNoItem);
    QVERIFY(tree.itemLabel(bogus).empty());
    QCOMPARE(tree.itemData(bogus), 0u);
    QCOMPARE(tree.nextSibling(bogus), ScreenTree::kNoItem);
    tree.setItemLabel(bogus, u"X");
    tree.selectItem(bogus);
    tree.deleteItem(bogus);
    QCOMPARE(tree.itemCount(), 4);

    // Deleting an item takes its children along; their handles go stale.
    tree.deleteItem(a);
    QCOMPARE(tree.itemCount(), 1);
    QCOMPARE(tree.firstChild(ScreenTree::kNoItem), b);
    QCOMPARE(tree.previousSibling(b), ScreenTree::kNoItem);
    QVERIFY(tree.itemLabel(a1).empty());
    QCOMPARE(tree.parentItem(a1), ScreenTree::kNoItem);
    QCOMPARE(tree.insertItem(a1, u"X"), ScreenTree::kNoItem);
    tree.deleteItem(a2);
    QCOMPARE(tree.itemCount(), 1);
    QVERIFY(log.changes.empty());
    // What a deleted selection does is the shared tree contract's (TreeContractTest).
}

void MainWindowTest::selectionIsReportedOncePerChange() {
    ScreenTree tree;
    TreeLog log;
    log.attach(tree);
    const Handle a = tree.insertItem(ScreenTree::kNoItem, u"A");
    const Handle a1 = tree.insertItem(a, u"A1");
    const Handle b = tree.insertItem(ScreenTree::kNoItem, u"B");
    tree.resize(240, 300);
    tree.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tree));

    tree.selectItem(a);
    tree.selectItem(a);
    tree.selectItem(a1);  // in a collapsed item: it is opened
    QVERIFY(tree.itemOf(a)->isExpanded());
    tree.selectItem(b);
    QCOMPARE(log.changes, (std::vector<Change>{{0, a}, {a, a1}, {a1, b}}));
    // The owner asking the tree during a report already sees the new selection.
    QCOMPARE(log.selectedDuringReport, (std::vector<Handle>{a, a1, b}));

    // By the user: a click on the label, then the arrow key.
    log.changes.clear();
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {},
                      tree.visualItemRect(tree.itemOf(a)).center());
    QTest::keyClick(&tree, Qt::Key_Down);
    QCOMPARE(log.changes, (std::vector<Change>{{b, a}, {a, a1}}));
    QCOMPARE(tree.selectedItems(), QList<QTreeWidgetItem*>{tree.itemOf(a1)});

    // A click beside the items, or with Ctrl on the selection, keeps it.
    log.changes.clear();
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, QPoint(100, 280));
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, Qt::ControlModifier,
                      tree.visualItemRect(tree.itemOf(a1)).center());
    QVERIFY(log.changes.empty());
    QCOMPARE(tree.selectedItem(), a1);

    // The owner moving the selection while told of a change: both reported, in order.
    log.onChange = [&](Handle, Handle newItem) {
        if (newItem == b) tree.selectItem(a);
    };
    tree.selectItem(b);
    QCOMPARE(log.changes, (std::vector<Change>{{a1, b}, {b, a}}));
    QCOMPARE(tree.selectedItem(), a);
    QCOMPARE(tree.selectedItems(), QList<QTreeWidgetItem*>{tree.itemOf(a)});

    log.onChange = nullptr;
    log.changes.clear();
    tree.selectItem(ScreenTree::kNoItem);
    QCOMPARE(log.changes, (std::vector<Change>{{a, 0}}));
    QVERIFY(tree.selectedItems().isEmpty());
}

void MainWindowTest::deletionSurvivesAnOwnerActingWhileTold() {
    ScreenTree tree;
    TreeLog log;
    log.attach(tree);
    const Handle a = tree.insertItem(0, u"A");
    const Handle b = tree.insertItem(0, u"B");

    // Told that A goes, the owner selects it again: the selection leaves A for
    // good (reported), and nothing stays selected that is deleted.
    tree.selectItem(a);
    log.changes.clear();
    log.onChange = [&](Handle oldItem, Handle newItem) {
        if (oldItem == a && newItem == b) tree.selectItem(a);
    };
    tree.deleteItem(a);
    QCOMPARE(log.changes, (std::vector<Change>{{a, b}, {b, a}, {a, 0}}));
    QCOMPARE(tree.itemCount(), 1);
    QCOMPARE(tree.selectedItem(), ScreenTree::kNoItem);
    QVERIFY(tree.selectedItems().isEmpty());

    // Told that B goes, the owner deletes it itself: it goes once.
    tree.selectItem(b);
    log.changes.clear();
    log.onChange = [&](Handle oldItem, Handle) {
        if (oldItem == b) tree.deleteItem(b);
    };
    tree.deleteItem(b);
    QCOMPARE(log.changes, (std::vector<Change>{{b, 0}}));
    QCOMPARE(tree.itemCount(), 0);
    QCOMPARE(tree.selectedItem(), ScreenTree::kNoItem);
}

void MainWindowTest::checkImageClickIsOfferedFirst() {
    ScreenTree tree;
    TreeLog log;
    log.attach(tree);
    std::vector<std::filesystem::path> images;
    for (int i = 0; i < 3; ++i)
        images.push_back(
            fsPath(m_programDir + QStringLiteral("/Images/Res/checkStatus%1.bmp").arg(i)));
    tree.setCheckImages(images);
    const Handle a = tree.insertItem(0, u"Alpha");
    const Handle b = tree.insertItem(0, u"Beta");
    tree.setItemImage(b, 2);
    tree.resize(240, 200);
    tree.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tree));
    tree.selectItem(a);
    log.changes.clear();

    // The shipped images load, and at their own size.
    const QRect image = tree.imageRect(b);
    QCOMPARE(image.size(), QSize(14, 14));
    QVERIFY(tree.visualItemRect(tree.itemOf(b)).contains(image));

    // Consumed: the selection stays, also when the mouse is dragged on.
    log.consumeClicks = true;
    QTest::mousePress(tree.viewport(), Qt::LeftButton, {}, image.center());
    QTest::mouseMove(tree.viewport(), image.center() + QPoint(40, 0));
    QTest::mouseRelease(tree.viewport(), Qt::LeftButton, {}, image.center() + QPoint(40, 0));
    QCOMPARE(log.clicks, (std::vector<std::pair<Handle, bool>>{{b, true}}));
    QCOMPARE(tree.selectedItem(), a);
    QVERIFY(log.changes.empty());

    // Not consumed: an ordinary click on the label.
    log.consumeClicks = false;
    log.clicks.clear();
    const QPoint onLabel(image.right() + 20, image.center().y());
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, onLabel);
    QCOMPARE(log.clicks, (std::vector<std::pair<Handle, bool>>{{b, false}}));
    QCOMPARE(log.changes, (std::vector<Change>{{a, b}}));

    // A right press does not select.
    QTest::mouseClick(tree.viewport(), Qt::RightButton, {},
                      tree.visualItemRect(tree.itemOf(a)).center());
    QCOMPARE(tree.selectedItem(), b);
}

void MainWindowTest::labelEditGoesToTheOwner() {
    ScreenTree tree;
    TreeLog log;
    log.attach(tree);
    const Handle item = tree.insertItem(0, u"Old");
    tree.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tree));

    tree.editLabel(item, 5);
    QLineEdit* edit = tree.viewport()->findChild<QLineEdit*>();
    QVERIFY(edit);
    QCOMPARE(edit->text(), QStringLiteral("Old"));
    QCOMPARE(edit->maxLength(), 5);
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("abcdefgh"));
    QCOMPARE(edit->text(), QStringLiteral("abcde"));
    QTest::keyClick(edit, Qt::Key_Return);
    QTRY_COMPARE(log.edits.size(), size_t(1));
    QCOMPARE(log.edits[0], std::make_pair(item, QStringLiteral("abcde")));
    // The owner sets the label; the editor does not.
    QCOMPARE(QString::fromStdU16String(tree.itemLabel(item)), QStringLiteral("Old"));

    // Escape gives up without a report.
    QTRY_VERIFY(!tree.viewport()->findChild<QLineEdit*>());
    tree.editLabel(item, 10);
    edit = tree.viewport()->findChild<QLineEdit*>();
    QVERIFY(edit);
    QTest::keyClicks(edit, QStringLiteral("zzz"));
    QTest::keyClick(edit, Qt::Key_Escape);
    QTRY_VERIFY(!tree.viewport()->findChild<QLineEdit*>());
    QCOMPARE(log.edits.size(), size_t(1));
}

void MainWindowTest::progressStepsWrapRound() {
    QTemporaryDir data, temp;
    QVERIFY(data.isValid() && temp.isValid());
    Session session(AppFolders(fsPath(data.path()), fsPath(m_programDir), fsPath(temp.path())));
    CMainWindow& window = session.window;
    auto* bar = window.findChild<QProgressBar*>();
    QVERIFY(bar);

    window.setProgressRange(0, 10);
    window.setProgressStep(4);
    window.setProgressPos(0);
    QList<int> seen;
    for (int i = 0; i < 6; ++i) {
        window.stepProgress();
        seen << bar->value();
    }
    // 12 wraps to 2, 14 to 4.
    QCOMPARE(seen, (QList<int>{4, 8, 2, 6, 10, 4}));

    // Downwards: 4 - 3 = 1, then -2 wraps to 8.
    window.setProgressStep(-3);
    window.stepProgress();
    QCOMPARE(bar->value(), 1);
    window.stepProgress();
    QCOMPARE(bar->value(), 8);

    window.setProgressPos(15);
    QCOMPARE(bar->value(), 10);
    window.setProgressPos(-5);
    QCOMPARE(bar->value(), 0);
    window.setProgressRange(20, 40);  // the position moves into the range
    QCOMPARE(bar->value(), 20);

    // An empty range is an empty bar, not Qt's busy indicator.
    window.setProgressRange(5, 5);
    window.stepProgress();
    QVERIFY(bar->maximum() > bar->minimum());
    QCOMPARE(bar->value(), bar->minimum());
}

// A firmware worker runs its transfer off the window's thread: what it reports
// reaches the bar and the timers on the window's thread, in order.
void MainWindowTest::progressAndTimersFromAnotherThread() {
    QTemporaryDir data, temp;
    QVERIFY(data.isValid() && temp.isValid());
    Session session(AppFolders(fsPath(data.path()), fsPath(m_programDir), fsPath(temp.path())));
    CMainWindow& window = session.window;
    auto* bar = window.findChild<QProgressBar*>();
    QVERIFY(bar);
    static QStringList warnings;
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext&, const QString& message) {
            if (type != QtDebugMsg && type != QtInfoMsg) warnings << message;
        });

    std::thread([&] {
        window.setProgressRange(0, 10);
        window.setProgressStep(3);
        window.setProgressPos(2);
        window.stepProgress();
        window.startTimer(signlink::TIMER_FLASH_TOOL, 4000);
    }).join();
    // Nothing was touched on the worker.
    QCOMPARE(bar->maximum(), 100);
    QTRY_COMPARE(bar->value(), 5);
    QCOMPARE(bar->maximum(), 10);
    QTimer* timer = window.findChild<QTimer*>(QStringLiteral("timer10001"));
    QVERIFY(timer && timer->isActive());
    QCOMPARE(timer->thread(), window.thread());
    std::thread([&] { window.stopTimer(signlink::TIMER_FLASH_TOOL); }).join();
    QTRY_VERIFY(!timer->isActive());

    // Through the controller: a block of six packets sent from another thread.
    session.signs.addSign({});
    const std::vector<uint8_t> image(52 * 5 + 1, 0x11);
    int code = -1;
    std::thread([&] {
        code = session.dlg.transfer(image, signlink::KIND_DEVICE_IMAGE, nullptr);
    }).join();
    QCOMPARE(code, 0);
    QTRY_COMPARE(bar->maximum(), 5);
    QCOMPARE(bar->minimum(), 0);
    QTRY_COMPARE(bar->value(), 5);

    qInstallMessageHandler(previous);
    QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join(QStringLiteral("; "))));
}

void MainWindowTest::testPatternsAndSendReachTheSign() {
    Run run(m_programDir, 0x0409);
    QVERIFY(run.ready());
    Session& session = *run.session;
    const int sign = session.signs.addSign({});

    // F12: the dialog's FullLight button sends pattern 2; the dialog stays open.
    bool stayedOpen = false;
    run.pilot.expect([&](QWidget* widget) {
        auto* dialog = qobject_cast<QDialog*>(widget);
        if (!dialog || dialog->objectName() != QStringLiteral("CDialogTest")) return false;
        auto* fullLight = dialog->findChild<QPushButton*>(QStringLiteral("testButton1007"));
        if (!fullLight) return false;
        QTest::mouseClick(fullLight, Qt::LeftButton);
        for (int k = 0; k < 20 && session.signs.blocks(sign).empty(); ++k)
            QTest::qWait(5);
        stayedOpen = dialog->isVisible();
        dialog->reject();
        return true;
    });
    session.dlg.onKeyDown(CGlimraDlg::Key::F12);
    QVERIFY2(run.pilot.done(), qPrintable(run.pilot.unexpected().join(QStringLiteral("; "))));
    QVERIFY(stayedOpen);
    auto blocks = session.signs.blocks(sign);
    QCOMPARE(blocks.size(), size_t{1});
    QCOMPARE(blocks[0].kind, uint8_t{signlink::KIND_TEST_PATTERN});
    QCOMPARE(blocks[0].bytes, std::vector<uint8_t>{2});

    // Send: the geometry query, then the current screen's image.
    session.signs.clearHistory(sign);
    ProgramRecord* program = session.dlg.project().findProgram(session.dlg.currentProgramKey());
    QVERIFY(program);
    program->settings[u"TextContent"] = u"Hi";
    program->settings[u"Color1"] = u"255";
    QPushButton* send = nullptr;
    for (QPushButton* b : session.window.findChildren<QPushButton*>())
        if (b->text() == QStringLiteral("Send")) send = b;
    QVERIFY(send);
    QTest::mouseClick(send, Qt::LeftButton);
    blocks = session.signs.blocks(sign);
    QCOMPARE(blocks.size(), size_t{2});
    QCOMPARE(blocks[1].kind, uint8_t{signlink::KIND_DEVICE_IMAGE});
    const std::string image = session.dlg.deviceImageOfCurrentScreen(true);
    QCOMPARE(std::string(blocks[1].bytes.begin(), blocks[1].bytes.end()), image);
    QVERIFY2(run.pilot.unexpected().isEmpty(),
             qPrintable(run.pilot.unexpected().join(QStringLiteral("; "))));
}

void MainWindowTest::screenSizeDialogShowsTheCatalogue() {
    ScreenCatalogue catalogue;
    const std::filesystem::path program = fsPath(m_programDir);
    QVERIFY(
        catalogue.load(program / "no-such-user-file.xml", program / "ScreenDefault.dat", program));
    LanguageTable language;
    language.findLanguages(program);
    language.loadByName(u"English");
    CScreenSel dlg(language, catalogue, 1);
    platform::QtImageCodec codec;
    CScreenSelDialog dialog(dlg, codec);
    dialog.resize(420, 360);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    QCOMPARE(dialog.windowTitle(), QString::fromStdU16String(language.text(u"SelectScreenSize")));
    const auto& buttons = dialog.list()->buttons();
    QCOMPARE(buttons.size(), catalogue.entries().size());
    for (CScreenPictureButton* b : buttons) {
        QCOMPARE(b->size(), QSize(350, 70));
        QCOMPARE(b->pos(), QPoint(10, 80 * b->number()));
        QCOMPARE(b->selected(), b->number() == 1);
    }
    // The range: the last row's top plus 40, less a page, as a native bar counts it.
    QScrollBar* bar = dialog.list()->scrollBar();
    QCOMPARE(bar->singleStep(), 20);
    QCOMPARE(bar->pageStep(), dialog.list()->height());
    QCOMPARE(bar->maximum(),
             std::max(0, 80 * (int(buttons.size()) - 1) + 40 - dialog.list()->height() + 1));
    if (bar->maximum() > 0) {
        QWheelEvent down(QPointF(50, 50), dialog.list()->mapToGlobal(QPointF(50, 50)), QPoint(),
                         QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(dialog.list(), &down);
        QCOMPARE(bar->value(), 20);
        QCOMPARE(buttons[1]->pos(), QPoint(10, 60));
        bar->setValue(0);
    }

    // The scrolling signs move on by themselves.
    CScreenPictureButton* animated = buttons[0];
    QVERIFY(animated->frameCount() > 1);
    const int first = animated->frameIndex();
    QTRY_VERIFY_WITH_TIMEOUT(animated->frameIndex() != first, 2000);

    // Clicking the third sign and OK take its entry.
    QTest::mouseClick(buttons[2], Qt::LeftButton);
    QVERIFY(buttons[2]->selected());
    QVERIFY(!buttons[1]->selected());
    QCOMPARE(dlg.selectedIndex(), 2);
    QPushButton* ok = dialog.findChild<QPushButton*>(QStringLiteral("ok"));
    QVERIFY(ok);
    QTest::mouseClick(ok, Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dlg.selectedSize(), catalogue.sizeOf(2));
}

// The program ends when the main window closes, whatever sign windows are open;
// every window carries the program's icon.
void MainWindowTest::signWindowsEndWithTheMainWindow() {
    QApplication::setWindowIcon(QIcon());  // whatever an earlier run set
    Run run(m_programDir, 0x0409);
    QVERIFY(run.ready());
    QVERIFY(!QApplication::windowIcon().isNull());
    QVERIFY(!run.session->window.windowIcon().isNull());
    platform::SteadyClock clock;
    SimulatedSign signs(clock, {{48, 12}});
    CVirtualSignWindow sign(signs, 0, run.session->dlg.language());
    sign.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sign));
    QVERIFY(!sign.windowIcon().isNull());

    // Qt ends its event loop when the last window that counts closes; a sign
    // window that counted would keep it going until the guard gives up.
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    guard.start(10000);
    QTimer::singleShot(0, &run.session->window, [&] { run.session->window.close(); });
    QApplication::setQuitOnLastWindowClosed(true);
    const int status = QApplication::exec();
    QApplication::setQuitOnLastWindowClosed(false);
    QCOMPARE(status, 0);
}

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
