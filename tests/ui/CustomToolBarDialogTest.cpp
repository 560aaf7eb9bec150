#include "assets/CCustomToolBar.h"
#include "assets/ui/CCustomToolBarDialog.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>
#include <utility>

namespace {

std::filesystem::path fsPath(const QString& path) {
    return std::filesystem::path(path.toStdString());
}

// Captions that differ from their keys, and a command list of three.
struct Texts : platform::TextLookup {
    std::u16string text(std::u16string_view key) const override {
        return u"<" + std::u16string(key) + u">";
    }
    std::vector<platform::TextListEntry> list(std::u16string_view key) const override {
        if (key != u"MenuItem") return {};
        return {{u"Open", u"32784"}, {u"Send", u"32787"}, {u"Preview", u"32840"}};
    }
};

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A program folder with a default of three buttons and their images (one
// colour each), an empty data folder, and the dialog on them, shown.
struct Fixture {
    Fixture() {
        QDir(program.path()).mkpath(QStringLiteral("icons"));
        const QByteArray dat =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><ToolBar Width=\"32\" Height=\"32\" "
            "cx=\"0\" cy=\"0\" Spacing=\"3\">\r\n"
            "<Item Id=\"32784\" Title=\"Open\">.\\icons\\a.png</Item>\r\n"
            "<Item Id=\"32787\" Title=\"Send\">.\\icons\\b.png</Item>\r\n"
            "<Item Id=\"32840\" Title=\"Preview\">.\\icons\\c.png</Item>\r\n"
            "</ToolBar>\r\n";
        QFile file(program.filePath(QStringLiteral("Toolbar.dat")));
        ready = file.open(QIODevice::WriteOnly) && file.write(dat) == dat.size();
        file.close();
        const std::pair<const char*, QColor> images[] = {
            {"a", Qt::red}, {"b", Qt::green}, {"c", Qt::blue}, {"d", Qt::yellow}};
        for (const auto& [name, colour] : images) {
            QImage image(4, 4, QImage::Format_ARGB32);
            image.fill(colour);
            ready = ready && image.save(icon(name));
        }
        logic =
            std::make_unique<CCustomToolBar>(texts, fsPath(data.path()), fsPath(program.path()));
        face = std::make_unique<CCustomToolBarDialog>(*logic, &error, QStringLiteral("Customize"));
        list = face->findChild<QTableWidget*>(QStringLiteral("list"));
        preview = face->findChild<QLabel*>(QStringLiteral("preview"));
        face->show();
        ready = ready && list && preview && QTest::qWaitForWindowExposed(face.get());
    }
    ~Fixture() {
        face.reset();
        logic.reset();
    }

    QString icon(const char* name) const {
        return program.filePath(QStringLiteral("icons/%1.png").arg(QLatin1String(name)));
    }
    QString file() const { return data.filePath(QStringLiteral("Toolbar.xml")); }
    QString cell(int row, int column) const {
        const QTableWidgetItem* item = list->item(row, column);
        return item ? item->text() : QStringLiteral("<none>");
    }
    QStringList column(int c) const {
        QStringList out;
        for (int r = 0; r < list->rowCount(); ++r)
            out << cell(r, c);
        return out;
    }
    void click(const char* name) {
        auto* button = face->findChild<QPushButton*>(QLatin1String(name));
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton);
    }
    void setField(const char* name, const QString& text) {
        auto* edit = face->findChild<QLineEdit*>(QLatin1String(name));
        QVERIFY(edit);
        edit->setText(text);
    }
    QPoint cellCentre(int row, int column) const {
        return list->visualRect(list->model()->index(row, column)).center();
    }
    // As the window system delivers one: press, release, press, double-click, release.
    void doubleClick(QPoint at) {
        QWidget* viewport = list->viewport();
        QTest::mousePress(viewport, Qt::LeftButton, {}, at);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
        QTest::mousePress(viewport, Qt::LeftButton, {}, at);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
    }
    // The preview's colour, or an invalid one when it shows no image.
    QColor previewColour() const {
        const QPixmap pixmap = preview->pixmap();
        if (pixmap.isNull()) return {};
        return pixmap.toImage().pixelColor(1, 1);
    }

    QTemporaryDir program, data;
    Texts texts;
    std::string error = "untouched";
    std::unique_ptr<CCustomToolBar> logic;
    std::unique_ptr<CCustomToolBarDialog> face;
    QTableWidget* list = nullptr;
    QLabel* preview = nullptr;
    bool ready = false;
};

using Dlg = CCustomToolBar;

}  // namespace

class CustomToolBarDialogTest : public QObject {
    Q_OBJECT

private slots:
    void opensWithTheDescriptionsRows();
    void addAndRemoveNumberTwoWide();
    void choosingACommandWritesItsIdentifierAndOkSavesIt();
    void removingEveryRowLeavesTheFileOnOk();
    void cancelWritesNothing();
    void pathCellOpensAFileDialog();
};

void CustomToolBarDialogTest::opensWithTheDescriptionsRows() {
    Fixture f;
    QVERIFY(f.ready);
    // The list as the design draws it.
    QCOMPARE(f.list->columnCount(), 4);
    const int widths[] = {50, 50, 100, 150};
    const char* titles[] = {"<Index>", "<MenuID>", "<MenuItem>", "<Path>"};
    for (int c = 0; c < 4; ++c) {
        QCOMPARE(f.list->columnWidth(c), widths[c]);
        // The whole title, or as much as the column shows, then "…".
        const QTableWidgetItem* header = f.list->horizontalHeaderItem(c);
        QCOMPARE(header->toolTip(), QLatin1String(titles[c]));
        const QString shown = header->text();
        QVERIFY2(shown == header->toolTip() || (shown.endsWith(QChar(0x2026)) &&
                                                header->toolTip().startsWith(shown.chopped(1))),
                 qPrintable(shown));
    }
    QVERIFY(f.list->showGrid());
    QCOMPARE(f.list->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(f.list->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(f.list->palette().color(QPalette::Text), QColor(0, 0, 255));
    QCOMPARE(f.list->palette().color(QPalette::Base), QColor(220, 220, 255));

    // Loaded rows are numbered three wide; the default's ".\" paths are absolute now.
    QCOMPARE(f.column(Dlg::COL_INDEX),
             (QStringList{QStringLiteral("  0"), QStringLiteral("  1"), QStringLiteral("  2")}));
    QCOMPARE(
        f.column(Dlg::COL_MENU_ID),
        (QStringList{QStringLiteral("32784"), QStringLiteral("32787"), QStringLiteral("32840")}));
    QCOMPARE(
        f.column(Dlg::COL_MENU_ITEM),
        (QStringList{QStringLiteral("Open"), QStringLiteral("Send"), QStringLiteral("Preview")}));
    QCOMPARE(f.column(Dlg::COL_PATH), (QStringList{f.icon("a"), f.icon("b"), f.icon("c")}));
    // Index and MenuID are never edited in place; MenuItem is, by its drop-down.
    for (int c = 0; c < 4; ++c)
        QCOMPARE(bool(f.list->item(0, c)->flags() & Qt::ItemIsEditable), c == Dlg::COL_MENU_ITEM);

    auto field = [&](const char* name) {
        return f.face->findChild<QLineEdit*>(QLatin1String(name))->text();
    };
    QCOMPARE(field("width"), QStringLiteral("32"));
    QCOMPARE(field("height"), QStringLiteral("32"));
    QCOMPARE(field("spacing"), QStringLiteral("3"));
    QCOMPARE(f.face->findChild<QLabel*>(QStringLiteral("spacingLabel"))->text(),
             QStringLiteral("<ButtonSpacing>"));
    QCOMPARE(f.face->findChild<QPushButton*>(QStringLiteral("remove"))->text(),
             QStringLiteral("<Remove>"));

    // The first row is selected and its image shown; selecting another shows its.
    QCOMPARE(f.list->selectionModel()->selectedRows().size(), 1);
    QCOMPARE(f.list->selectionModel()->selectedRows()[0].row(), 0);
    QCOMPARE(f.previewColour(), QColor(Qt::red));
    QTest::mouseClick(f.list->viewport(), Qt::LeftButton, {}, f.cellCentre(2, Dlg::COL_INDEX));
    QCOMPARE(f.previewColour(), QColor(Qt::blue));
    QCOMPARE(f.logic->selection(), 2);
}

void CustomToolBarDialogTest::addAndRemoveNumberTwoWide() {
    Fixture f;
    QVERIFY(f.ready);
    f.click("add");
    f.click("add");
    QCOMPARE(f.column(Dlg::COL_INDEX),
             (QStringList{QStringLiteral("  0"), QStringLiteral("  1"), QStringLiteral("  2"),
                          QStringLiteral(" 3"), QStringLiteral(" 4")}));
    QCOMPARE(f.list->selectionModel()->selectedRows().size(), 1);
    QCOMPARE(f.list->selectionModel()->selectedRows()[0].row(), 4);

    // Rows 0 and 2 selected together, then Remove: both go, all renumbered.
    QItemSelectionModel* selection = f.list->selectionModel();
    selection->clearSelection();
    for (int row : {0, 2})
        selection->select(f.list->model()->index(row, 0),
                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    f.click("remove");
    QCOMPARE(f.column(Dlg::COL_INDEX),
             (QStringList{QStringLiteral(" 0"), QStringLiteral(" 1"), QStringLiteral(" 2")}));
    QCOMPARE(f.column(Dlg::COL_MENU_ID),
             (QStringList{QStringLiteral("32787"), QString(), QString()}));
    // The row now where the last removed one was is selected.
    QCOMPARE(selection->selectedRows().size(), 1);
    QCOMPARE(selection->selectedRows()[0].row(), 1);

    // ▲ moves the selected row's cells up, the Index stays with its place.
    selection->setCurrentIndex(f.list->model()->index(0, 0),
                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    f.click("down");
    QCOMPARE(f.column(Dlg::COL_MENU_ID),
             (QStringList{QString(), QStringLiteral("32787"), QString()}));
    QCOMPARE(f.column(Dlg::COL_INDEX),
             (QStringList{QStringLiteral(" 0"), QStringLiteral(" 1"), QStringLiteral(" 2")}));
    QCOMPARE(selection->selectedRows()[0].row(), 1);
    f.click("up");
    QCOMPARE(f.column(Dlg::COL_MENU_ID),
             (QStringList{QStringLiteral("32787"), QString(), QString()}));
}

void CustomToolBarDialogTest::choosingACommandWritesItsIdentifierAndOkSavesIt() {
    Fixture f;
    QVERIFY(f.ready);
    const QModelIndex target = f.list->model()->index(1, Dlg::COL_MENU_ITEM);
    f.list->setCurrentIndex(target);
    f.list->edit(target);
    auto* box = f.list->findChild<QComboBox*>(QStringLiteral("menuItemEditor"));
    QVERIFY(box);
    QCOMPARE(box->count(), 3);
    QCOMPARE(box->currentText(), QStringLiteral("Send"));
    box->setCurrentIndex(2);
    emit box->activated(2);
    QCOMPARE(f.cell(1, Dlg::COL_MENU_ITEM), QStringLiteral("Preview"));
    QCOMPARE(f.cell(1, Dlg::COL_MENU_ID), QStringLiteral("32840"));
    // Only that row changed.
    QCOMPARE(
        f.column(Dlg::COL_MENU_ID),
        (QStringList{QStringLiteral("32784"), QStringLiteral("32840"), QStringLiteral("32840")}));
    QCOMPARE(f.cell(1, Dlg::COL_PATH), f.icon("b"));

    // A negative height becomes 32 and a negative spacing 1.
    f.setField("width", QStringLiteral("24"));
    f.setField("height", QStringLiteral("-1"));
    f.setField("spacing", QStringLiteral("-7"));
    f.click("ok");
    QCOMPARE(f.face->result(), int(QDialog::Accepted));
    QCOMPARE(f.error, std::string());
    const QByteArray expected =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><ToolBar Width=\"24\" Height=\"32\" "
        "cx=\"0\" cy=\"0\" Spacing=\"1\">\r\n"
        "<Item Id=\"32784\" Title=\"Open\">" +
        f.icon("a").toUtf8() +
        "</Item>\r\n"
        "<Item Id=\"32840\" Title=\"Preview\">" +
        f.icon("b").toUtf8() +
        "</Item>\r\n"
        "<Item Id=\"32840\" Title=\"Preview\">" +
        f.icon("c").toUtf8() +
        "</Item>\r\n"
        "</ToolBar>\r\n";
    QCOMPARE(readAll(f.file()), expected);
}

void CustomToolBarDialogTest::removingEveryRowLeavesTheFileOnOk() {
    Fixture f;
    QVERIFY(f.ready);
    const QByteArray before = readAll(f.file());
    QVERIFY(before.contains("<Item Id=\"32787\""));
    f.list->selectAll();
    f.click("remove");
    QCOMPARE(f.list->rowCount(), 0);
    QVERIFY(!f.previewColour().isValid());  // black again
    f.setField("width", QStringLiteral("16"));
    f.click("ok");
    QCOMPARE(f.face->result(), int(QDialog::Accepted));
    QCOMPARE(f.error, std::string());
    QCOMPARE(readAll(f.file()), before);
}

void CustomToolBarDialogTest::cancelWritesNothing() {
    Fixture f;
    QVERIFY(f.ready);
    const QByteArray before = readAll(f.file());
    f.click("add");
    f.setField("width", QStringLiteral("16"));
    f.click("cancel");
    QCOMPARE(f.face->result(), int(QDialog::Rejected));
    QCOMPARE(f.error, std::string("untouched"));
    QCOMPARE(readAll(f.file()), before);
}

void CustomToolBarDialogTest::pathCellOpensAFileDialog() {
    Fixture f;
    QVERIFY(f.ready);
    int dialogs = 0;
    QString choose;  // the file to pick; empty: cancel
    QTimer pilot;
    connect(&pilot, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) return;
        ++dialogs;
        if (choose.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->selectFile(choose);
        static_cast<QDialog*>(dialog)->accept();
    });
    pilot.start(5);

    // A double-click on row 2's Path opens one dialog; the choice becomes its path.
    choose = f.icon("d");
    f.doubleClick(f.cellCentre(2, Dlg::COL_PATH));
    QTRY_COMPARE(dialogs, 1);
    QTRY_COMPARE(f.cell(2, Dlg::COL_PATH), f.icon("d"));
    QCOMPARE(f.previewColour(), QColor(Qt::yellow));
    QTest::qWait(2 * QApplication::doubleClickInterval());
    QCOMPARE(dialogs, 1);

    // A click that selects row 0 opens nothing; a click on the selected row's Path does.
    choose.clear();
    QTest::mouseClick(f.list->viewport(), Qt::LeftButton, {}, f.cellCentre(0, Dlg::COL_PATH));
    QTest::qWait(2 * QApplication::doubleClickInterval());
    QCOMPARE(dialogs, 1);
    QCOMPARE(f.logic->selection(), 0);
    QTest::mouseClick(f.list->viewport(), Qt::LeftButton, {}, f.cellCentre(0, Dlg::COL_PATH));
    QTRY_COMPARE(dialogs, 2);
    // Cancelled: the path stays.
    QCOMPARE(f.cell(0, Dlg::COL_PATH), f.icon("a"));
}

QTEST_MAIN(CustomToolBarDialogTest)
#include "CustomToolBarDialogTest.moc"
