#include "app/CGlimraApp.h"
#include "app/CGlimraDlg.h"
#include "app/Commands.h"
#include "app/ui/CMainWindow.h"
#include "app/ui/ToolbarPanel.h"
#include "device/sim/SimulatedSign.h"
#include "platform/qt/QtFontCatalog.h"
#include "platform/qt/QtImageCodec.h"
#include "platform/qt/QtTextRenderer.h"

#include <QFile>
#include <QLayout>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace {

std::filesystem::path fsPath(const QString& path) {
    return std::filesystem::path(path.toStdString());
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Captions that are their keys, and a command list of two names.
struct KeyTexts : platform::TextLookup {
    std::u16string text(std::u16string_view key) const override { return std::u16string(key); }
    std::vector<platform::TextListEntry> list(std::u16string_view key) const override {
        if (key != u"MenuItem") return {};
        return {{u"Open project", u"32784"}, {u"Send it", u"32787"}};
    }
};

// Answers the dialogs the program opens, one expected step at a time; anything
// else is closed and recorded, so a surprise fails the test instead of blocking it.
class ModalPilot : public QObject {
public:
    using Step = std::function<bool(QWidget*)>;

    ModalPilot() {
        connect(&m_timer, &QTimer::timeout, this, &ModalPilot::poll);
        m_timer.start(5);
    }

    void expect(Step step) { m_steps.push_back(std::move(step)); }
    bool done() const { return m_steps.empty(); }
    QString unexpected() const { return m_unexpected.join(QStringLiteral("; ")); }

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

struct QuietShell : platform::Shell {
    bool open(const std::filesystem::path&) override { return true; }
};

// The main window and its controller on fresh data; `prepare` sees the data
// folder before the window is made. Started (the first screen's size accepted) and shown.
struct Run {
    Run(const QString& programDir, const std::function<void(const QString&)>& prepare = {}) {
        if (prepare) prepare(data.path());
        dlg = std::make_unique<CGlimraDlg>(
            app, AppFolders(fsPath(data.path()), fsPath(programDir), fsPath(temp.path())));
        dlg->setSystemLanguageId(0x0409);
        window = std::make_unique<CMainWindow>(*dlg);
        pilot.expect(acceptScreenSize());
        dlg->onInitDialog();
        window->show();
    }
    ~Run() {
        window.reset();
        dlg.reset();
    }
    bool ready() const { return data.isValid() && temp.isValid() && pilot.done(); }
    ToolbarPanel* panel() const { return window->findChild<ToolbarPanel*>(); }

    // The menu bar's action for a command.
    QAction* command(int id) const {
        for (QMenu* menu : window->findChildren<QMenu*>())
            for (QAction* action : menu->actions())
                if (!action->menu() && !action->isSeparator() && action->data().toInt() == id)
                    return action;
        return nullptr;
    }

    QTemporaryDir data, temp;
    ModalPilot pilot;
    QuietShell shell;
    platform::QtImageCodec images;
    platform::QtFontCatalog fonts;
    platform::QtTextRenderer text{fonts};
    platform::VirtualClock clock;
    SimulatedSign signs{clock};
    CGlimraApp app{{shell, images, fonts, text, signs, clock}};
    std::unique_ptr<CGlimraDlg> dlg;
    std::unique_ptr<CMainWindow> window;
};

// The panel alone in a window of its own, its presses recorded.
struct Host {
    Host(const QString& programDir, const QString& dataDir) {
        panel = new ToolbarPanel(
            texts, fsPath(dataDir), fsPath(programDir), [this](int id) { posted.push_back(id); },
            &window);
        window.addToolBar(Qt::TopToolBarArea, panel);
        window.setCentralWidget(new QWidget(&window));
        // The main window's own F12, which must not take the panel's.
        auto* f12 = new QShortcut(QKeySequence(Qt::Key_F12), &window);
        f12->setContext(Qt::WindowShortcut);
        QObject::connect(f12, &QShortcut::activated, &window, [this] { ++windowF12; });
    }

    QToolButton* button(int command) const {
        for (QToolButton* b : panel->buttons())
            if (b->objectName() == QStringLiteral("command%1").arg(command)) return b;
        return nullptr;
    }
    QList<int> commands() const {
        QList<int> out;
        for (QToolButton* b : panel->buttons())
            out.push_back(b->objectName().mid(7).toInt());
        return out;
    }

    KeyTexts texts;
    QMainWindow window;
    ToolbarPanel* panel = nullptr;
    QList<int> posted;
    int windowF12 = 0;
};

// What an icon shows, to compare with the file it came from.
QImage pixels(const QIcon& icon, QSize size) {
    return icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
}

QImage pixels(const QString& file) {
    // Through a pixmap, as the icon holds it.
    return QPixmap(file).toImage().convertToFormat(QImage::Format_ARGB32);
}

}  // namespace

class ToolbarPanelTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void fixedSetInTableOrderWithShippedIcons();
    void pressesArePostedAfterTheClick();
    void forwardedRangeReachesTheWindow_data();
    void forwardedRangeReachesTheWindow();
    void textsShowOnlyWhenTheLastButtonFits();

    void narrowWindowShowsIconsUntilWidenedAndRelabelled();
    void savedDescriptionShowsItsButtonsInItsOrder();
    void customizingRebuildsThePanel();

private:
    QString m_programDir;
};

void ToolbarPanelTest::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    QApplication::setQuitOnLastWindowClosed(false);
    m_programDir = qEnvironmentVariable("ZENTARI_PROGRAM_DIR");
    QVERIFY2(!m_programDir.isEmpty(), "ZENTARI_PROGRAM_DIR names the staged program folder");
    QVERIFY(QFile::exists(m_programDir + QStringLiteral("/icons/172.png")));
}

void ToolbarPanelTest::fixedSetInTableOrderWithShippedIcons() {
    QTemporaryDir data;
    Host host(m_programDir, data.path());
    // The table: Open, NewScreen, NewProgram, Delete, Send, Preview, Test (hidden).
    const QList<int> commands = {32784, 32796, 32798, 32833, 32787, 32840, 32805};
    const QStringList captions = {QStringLiteral("Open"),       QStringLiteral("NewScreen"),
                                  QStringLiteral("NewProgram"), QStringLiteral("Delete"),
                                  QStringLiteral("Send"),       QStringLiteral("Preview"),
                                  QStringLiteral("TestScreen")};
    const int icons[] = {172, 171, 171, 170, 174, 173, 175};
    QCOMPARE(host.commands(), commands);
    host.window.resize(1200, 300);
    host.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host.window));
    QCOMPARE(host.panel->iconSize(), QSize(32, 32));
    QCOMPARE(host.panel->layout()->spacing(), 3);
    const std::vector<QToolButton*> buttons = host.panel->buttons();
    for (size_t i = 0; i < buttons.size(); ++i) {
        QToolButton* b = buttons[i];
        QCOMPARE(b->isVisible(), i != 6);
        QCOMPARE(b->text(), captions[static_cast<qsizetype>(i)]);
        QCOMPARE(pixels(b->icon(), QSize(32, 32)),
                 pixels(m_programDir + QStringLiteral("/icons/%1.png").arg(icons[i])));
        // Only Send has the drop-down, with its one item.
        QCOMPARE(b->menu() != nullptr, commands[i] == 32787);
    }
    QMenu* menu = host.button(32787)->menu();
    QCOMPARE(menu->actions().size(), 1);
    QCOMPARE(menu->actions()[0]->text(), QStringLiteral("BatchTx"));
    QCOMPARE(menu->actions()[0]->data().toInt(), 32845);
    QCOMPARE(host.button(32787)->popupMode(), QToolButton::MenuButtonPopup);
}

void ToolbarPanelTest::pressesArePostedAfterTheClick() {
    QTemporaryDir data;
    Host host(m_programDir, data.path());
    host.window.resize(1200, 300);
    host.window.show();
    QVERIFY(QTest::qWaitForWindowActive(&host.window));

    // The button itself: on its icon, left of the drop-down arrow.
    QToolButton* send = host.button(32787);
    QVERIFY(send);
    QTest::mouseClick(send, Qt::LeftButton, {}, QPoint(8, send->height() / 2));
    QVERIFY(host.posted.empty());  // not while the click is being handled
    QTRY_COMPARE(host.posted, QList<int>{32787});

    host.posted.clear();
    send->menu()->actions()[0]->trigger();
    QVERIFY(host.posted.empty());
    QTRY_COMPARE(host.posted, QList<int>{32847});

    host.posted.clear();
    QTest::mouseClick(host.button(32833), Qt::LeftButton);
    QTRY_COMPARE(host.posted, QList<int>{32833});

    // F12 with the keyboard in the panel is the panel's, not the window's shortcut.
    host.posted.clear();
    host.panel->setFocus();
    QVERIFY(host.panel->hasFocus());
    QTest::keyClick(host.panel, Qt::Key_F12);
    QTRY_COMPARE(host.posted, QList<int>{32805});
    QCOMPARE(host.windowF12, 0);
    // Clicking a button leaves the keyboard where it was.
    QWidget* central = host.window.centralWidget();
    central->setFocusPolicy(Qt::StrongFocus);
    central->setFocus();
    QTest::mouseClick(host.button(32784), Qt::LeftButton);
    QVERIFY(central->hasFocus());
}

void ToolbarPanelTest::forwardedRangeReachesTheWindow_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QList<int>>("posted");
    QTest::newRow("Open, forwarded") << 17408 + 32784 << QList<int>{32784};
    QTest::newRow("first of the range") << 17408 << QList<int>{0};
    QTest::newRow("last of the range") << 54272 << QList<int>{36864};
    QTest::newRow("below") << 17407 << QList<int>{};
    QTest::newRow("above") << 54273 << QList<int>{};
    QTest::newRow("a command id, inside the range too") << 32784 << QList<int>{15376};
}

void ToolbarPanelTest::forwardedRangeReachesTheWindow() {
    QFETCH(int, id);
    QFETCH(QList<int>, posted);
    QTemporaryDir data;
    Host host(m_programDir, data.path());
    host.panel->forwardCommand(id);
    QVERIFY(host.posted.empty());
    QCoreApplication::processEvents();
    QCOMPARE(host.posted, posted);
}

// Whatever the width, texts show only when every shown button fits with its
// text, and then the panel needs no overflow button; a pixel narrower than the
// narrowest such width gives icons alone.
void ToolbarPanelTest::textsShowOnlyWhenTheLastButtonFits() {
    QTemporaryDir data;
    Host host(m_programDir, data.path());
    host.window.resize(1200, 300);
    host.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host.window));
    auto* extension = host.panel->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button"));
    QToolButton* last = host.button(32840);
    int narrowest = 0;
    for (int width = 900; width >= 250; width -= 3) {
        host.window.resize(width, 300);
        QCoreApplication::processEvents();
        QCOMPARE(host.panel->width(), width);
        if (!host.panel->showsTexts()) break;
        narrowest = width;
        QVERIFY(!extension || !extension->isVisible());
        QVERIFY(last->isVisible());
        QVERIFY(last->geometry().right() < host.panel->width());
        QCOMPARE(last->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
    }
    QVERIFY(narrowest > 300);
    QVERIFY(narrowest < 900);
    // Just below: icons alone, captions as tooltips.
    host.window.resize(narrowest - 3, 300);
    QCoreApplication::processEvents();
    QVERIFY(!host.panel->showsTexts());
    for (QToolButton* b : host.panel->buttons()) {
        QVERIFY(b->text().isEmpty());
        QCOMPARE(b->toolButtonStyle(), Qt::ToolButtonIconOnly);
    }
    QCOMPARE(host.button(32796)->toolTip(), QStringLiteral("NewScreen"));
    // At the narrowest width with texts the last button ends near the panel's
    // edge: the test is against the panel's real room, not a guess.
    host.window.resize(narrowest, 300);
    QCoreApplication::processEvents();
    QVERIFY(host.panel->showsTexts());
    QVERIFY2(host.panel->width() - last->geometry().right() < 16,
             qPrintable(QStringLiteral("%1 of %2").arg(last->geometry().right()).arg(narrowest)));
}

// The window is never narrower than its content allows, which leaves room for
// the fixed set's texts; ten buttons of a description need more.
void ToolbarPanelTest::narrowWindowShowsIconsUntilWidenedAndRelabelled() {
    const int commands[] = {32796, 32798, 32784, 32785, 32786, 32787, 32847, 32840, 32833, 32802};
    Run run(m_programDir, [&](const QString& dataDir) {
        QByteArray xml =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><ToolBar Width=\"32\" Height=\"32\" "
            "cx=\"0\" cy=\"0\" Spacing=\"3\">\r\n";
        for (int command : commands)
            xml += "<Item Id=\"" + QByteArray::number(command) +
                   "\" Title=\"x\">.\\icons\\171.png</Item>\r\n";
        xml += "</ToolBar>\r\n";
        QVERIFY(writeFile(dataDir + QStringLiteral("/Toolbar.xml"), xml));
    });
    QVERIFY(run.ready());
    ToolbarPanel* panel = run.panel();
    QVERIFY(panel);
    // The command list's names in the shipped English and German files.
    const QStringList english = {QStringLiteral("New Screen"),
                                 QStringLiteral("New Program"),
                                 QStringLiteral("Open"),
                                 QStringLiteral("Save"),
                                 QStringLiteral("Save As"),
                                 QStringLiteral("Send"),
                                 QStringLiteral("Send to All Signs"),
                                 QStringLiteral("Preview"),
                                 QStringLiteral("Delete"),
                                 QStringLiteral("Delete Screen")};
    const QStringList german = {
        QStringLiteral("Neuer Bildschirm"),        QStringLiteral("Neues Programm"),
        QString::fromUtf8("\u00D6ffnen"),          QStringLiteral("Speichern"),
        QStringLiteral("Speichern unter"),         QStringLiteral("Senden"),
        QStringLiteral("An alle Anzeigen senden"), QStringLiteral("Vorschau"),
        QString::fromUtf8("L\u00F6schen"),         QString::fromUtf8("Bildschirm l\u00F6schen")};
    const std::vector<QToolButton*> buttons = panel->buttons();
    QCOMPARE(buttons.size(), size_t(10));

    // As narrow as the window goes.
    run.window->resize(200, 700);
    QCoreApplication::processEvents();
    QCOMPARE(panel->width(), run.window->width());
    QVERIFY(!panel->showsTexts());
    for (int i = 0; i < 10; ++i) {
        QToolButton* b = buttons[static_cast<size_t>(i)];
        QVERIFY(b->text().isEmpty());
        QCOMPARE(b->toolButtonStyle(), Qt::ToolButtonIconOnly);
        QCOMPARE(b->toolTip(), english[i]);
    }

    // Wide, then another language: the texts are back, in that language.
    run.window->resize(2600, 700);
    QCoreApplication::processEvents();
    QCOMPARE(panel->width(), 2600);
    QVERIFY(panel->showsTexts());
    QCOMPARE(buttons[0]->text(), english[0]);
    QMenu* languages = nullptr;
    for (QMenu* menu : run.window->findChildren<QMenu*>())
        if (menu->menuAction()->data().toInt() == CGlimraDlg::MENU_LANGUAGE) languages = menu;
    QVERIFY(languages);
    QAction* deutsch = nullptr;
    for (QAction* a : languages->actions())
        if (a->text() == QStringLiteral("Deutsch")) deutsch = a;
    QVERIFY(deutsch);
    deutsch->trigger();
    QCoreApplication::processEvents();
    QVERIFY(panel->showsTexts());
    for (int i = 0; i < 10; ++i) {
        QToolButton* b = buttons[static_cast<size_t>(i)];
        QCOMPARE(b->text(), german[i]);
        QCOMPARE(b->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
    }
    QCOMPARE(panel->batchItem()->text(), QStringLiteral("An alle Anzeigen senden"));

    // Narrow again: the German captions are the tooltips.
    run.window->resize(200, 700);
    QCoreApplication::processEvents();
    QVERIFY(!panel->showsTexts());
    QCOMPARE(buttons[9]->toolTip(), german[9]);
    QVERIFY2(run.pilot.unexpected().isEmpty(), qPrintable(run.pilot.unexpected()));
}

void ToolbarPanelTest::savedDescriptionShowsItsButtonsInItsOrder() {
    const QString open = m_programDir + QStringLiteral("/icons/172.png");
    Run run(m_programDir, [&](const QString& dataDir) {
        // Preview, Open and Delete, in that order, at 24 pixels, 6 apart; the
        // first icon relative to the program folder, the second absolute.
        const QByteArray xml =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><ToolBar Width=\"24\" Height=\"24\" "
            "cx=\"0\" cy=\"0\" Spacing=\"6\">\r\n"
            "<Item Id=\"32840\" Title=\"Preview\">.\\icons\\173.png</Item>\r\n"
            "<Item Id=\"32784\" Title=\"Open\">" +
            open.toUtf8() +
            "</Item>\r\n"
            "<Item Id=\"32833\" Title=\"Delete\">.\\icons\\170.png</Item>\r\n"
            "</ToolBar>\r\n";
        QVERIFY(writeFile(dataDir + QStringLiteral("/Toolbar.xml"), xml));
    });
    QVERIFY(run.ready());
    ToolbarPanel* panel = run.panel();
    run.window->resize(1200, 700);
    QCoreApplication::processEvents();
    const std::vector<QToolButton*> buttons = panel->buttons();
    QCOMPARE(buttons.size(), size_t(3));
    const int commands[] = {32840, 32784, 32833};
    const QStringList captions = {QStringLiteral("Preview"), QStringLiteral("Open"),
                                  QStringLiteral("Delete")};
    const int icons[] = {173, 172, 170};
    for (size_t i = 0; i < 3; ++i) {
        QCOMPARE(buttons[i]->objectName(), QStringLiteral("command%1").arg(commands[i]));
        QCOMPARE(buttons[i]->text(), captions[static_cast<qsizetype>(i)]);
        QVERIFY(buttons[i]->isVisible());
        QCOMPARE(pixels(buttons[i]->icon(), QSize(32, 32)),
                 pixels(m_programDir + QStringLiteral("/icons/%1.png").arg(icons[i])));
        QVERIFY(buttons[i]->x() < (i + 1 < 3 ? buttons[i + 1]->x() : 100000));
    }
    QCOMPARE(panel->iconSize(), QSize(24, 24));
    QCOMPARE(panel->layout()->spacing(), 6);
    QCOMPARE(buttons[1]->x() - buttons[0]->geometry().right() - 1, 6);
    QVERIFY2(run.pilot.unexpected().isEmpty(), qPrintable(run.pilot.unexpected()));
}

void ToolbarPanelTest::customizingRebuildsThePanel() {
    Run run(m_programDir);
    QVERIFY(run.ready());
    ToolbarPanel* panel = run.panel();
    QCOMPARE(panel->buttons().size(), size_t(7));

    // The dialog: the first row (Open) removed, then OK.
    run.pilot.expect([](QWidget* widget) {
        auto* dialog = qobject_cast<QDialog*>(widget);
        if (!dialog || dialog->objectName() != QStringLiteral("CCustomToolBar")) return false;
        auto* list = dialog->findChild<QTableWidget*>(QStringLiteral("list"));
        if (!list || list->rowCount() != 6) return false;
        list->selectRow(0);
        dialog->findChild<QPushButton*>(QStringLiteral("remove"))->click();
        dialog->findChild<QPushButton*>(QStringLiteral("ok"))->click();
        return true;
    });
    QAction* customize = run.command(IDM_TOOL_CUSTOM_TOOLBAR);
    QVERIFY(customize);
    customize->trigger();
    QVERIFY(run.pilot.done());
    QVERIFY2(run.pilot.unexpected().isEmpty(), qPrintable(run.pilot.unexpected()));

    QStringList names;
    for (QToolButton* b : panel->buttons())
        names << b->objectName();
    QCOMPARE(names, (QStringList{QStringLiteral("command32796"), QStringLiteral("command32798"),
                                 QStringLiteral("command32833"), QStringLiteral("command32787"),
                                 QStringLiteral("command32840")}));
    // The saved description names the shipped icons by their full paths.
    QCOMPARE(pixels(panel->buttons()[3]->icon(), QSize(32, 32)),
             pixels(m_programDir + QStringLiteral("/icons/174.png")));
    QVERIFY(panel->buttons()[3]->menu());
}

QTEST_MAIN(ToolbarPanelTest)
#include "ToolbarPanelTest.moc"
