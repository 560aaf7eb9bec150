#include "batch/CClustersSend.h"
#include "batch/ui/CClustersSendDialog.h"
#include "device/DeviceTable.h"
#include "device/sim/SimulatedSign.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using Mode = CClustersSend::Mode;

// Captions that differ from their keys, so the face is seen to take the logic's.
struct Texts : platform::TextLookup {
    std::u16string text(std::u16string_view key) const override {
        return u"<" + std::u16string(key) + u">";
    }
    std::vector<platform::TextListEntry> list(std::u16string_view) const override { return {}; }
};

// 3 packets of 52 bytes.
constexpr size_t kImageLength = 156;

// Three virtual signs on virtual time, the logic posting to the application's
// thread, and the face made directly (not run modally).
struct Batch {
    explicit Batch(Mode mode, std::vector<uint8_t> prepared = {}) {
        for (int k = 0; k < 3; ++k)
            signs.addSign({});
        CClustersSend::Poster post = [](std::function<void()> task) {
            QMetaObject::invokeMethod(qApp, std::move(task), Qt::QueuedConnection);
        };
        logic = std::make_unique<CClustersSend>(
            CClustersSend::Services{table, clock, texts, post}, mode,
            std::vector<std::u16string>{u"Front", u"Back"},
            [](const std::u16string& name) {
                return name == u"Front" ? std::vector<uint8_t>(kImageLength, 0x5A)
                                        : std::vector<uint8_t>();
            },
            std::move(prepared));
        face = std::make_unique<CClustersSendDialog>(*logic);
        list = face->findChild<QTableWidget*>(QStringLiteral("signList"));
    }
    ~Batch() {
        face.reset();
        logic.reset();
    }

    bool shown() {
        face->show();
        return QTest::qWaitForWindowExposed(face.get());
    }

    QString cell(int row, int column) const {
        const QTableWidgetItem* item = list->item(row, column);
        return item ? item->text() : QStringLiteral("<none>");
    }
    QStringList column(int c) const {
        QStringList out;
        for (int row = 0; row < list->rowCount(); ++row)
            out << cell(row, c);
        return out;
    }
    QStringList logicColumn(int c) const {
        QStringList out;
        for (const auto& row : logic->rows())
            out << QString::fromStdU16String(row[c]);
        return out;
    }
    QPushButton* button(const char* name) const {
        return face->findChild<QPushButton*>(QLatin1String(name));
    }
    QComboBox* openScreenEditor(int row) {
        list->editItem(list->item(row, CClustersSend::COL_TARGET));
        return list->viewport()->findChild<QComboBox*>();
    }

    platform::VirtualClock clock;
    SimulatedSign signs{clock};
    DeviceTable table{signs};
    Texts texts;
    std::unique_ptr<CClustersSend> logic;
    std::unique_ptr<CClustersSendDialog> face;
    QTableWidget* list = nullptr;
};

}  // namespace

class BatchDialogTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void filtersTakeQtForm_data();
    void filtersTakeQtForm();
    void columnsFollowTheMode_data();
    void columnsFollowTheMode();
    void rowsAreNumberedAndDrawnOnThreeColours();
    void choosingAScreenFillsTheRowsBelow();
    void aFileColumnOpensAFileDialog();
    void enterNeitherClosesNorSends();
    void closeKeepsTheSigns();
    void closingByTheFrameForgetsTheSigns_data();
    void closingByTheFrameForgetsTheSigns();
    void rowUpdatesReachTheirOwnRows();
};

void BatchDialogTest::filtersTakeQtForm_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("expected");
    QTest::newRow("firmware") << "firmware files(*.bin)|*.bin||"
                              << "firmware files (*.bin)";
    // "*.*" is every file, also one without a dot.
    QTest::newRow("software") << "firmware files(*.*)|*.*||"
                              << "firmware files (*)";
    QTest::newRow("two pairs") << "images(*.bmp;*.png)|*.bmp;*.png|all|*.*||"
                               << "images (*.bmp *.png);;all (*)";
    QTest::newRow("empty") << ""
                           << "";
}

void BatchDialogTest::filtersTakeQtForm() {
    QFETCH(QString, filter);
    QFETCH(QString, expected);
    QCOMPARE(CClustersSendDialog::qtFilter(filter.toStdU16String()), expected);
}

void BatchDialogTest::columnsFollowTheMode_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("prepared");
    QTest::addColumn<QList<int>>("widths");
    QTest::addColumn<QList<int>>("editable");
    QTest::addColumn<QString>("targetCaption");
    QTest::newRow("screen") << int(CClustersSend::MODE_SCREEN) << false
                            << QList<int>{0, 50, 250, 0, 260, 100, 0} << QList<int>{4}
                            << "<Screen>";
    QTest::newRow("prepared image")
        << int(CClustersSend::MODE_SCREEN) << true << QList<int>{0, 50, 510, 0, 0, 100, 0}
        << QList<int>{} << "<Screen>";
    // The file columns go through a file dialog, not an editor in the cell.
    QTest::newRow("firmware") << int(CClustersSend::MODE_FIRMWARE) << false
                              << QList<int>{0, 50, 150, 100, 160, 100, 100} << QList<int>{6}
                              << "<Firmware>";
}

void BatchDialogTest::columnsFollowTheMode() {
    QFETCH(int, mode);
    QFETCH(bool, prepared);
    QFETCH(QList<int>, widths);
    QFETCH(QList<int>, editable);
    QFETCH(QString, targetCaption);
    Batch batch(static_cast<Mode>(mode),
                prepared ? std::vector<uint8_t>{1, 2, 3} : std::vector<uint8_t>{});
    QVERIFY(batch.list);
    QCOMPARE(batch.face->objectName(), QStringLiteral("CClustersSend"));
    QCOMPARE(batch.face->windowTitle(), QStringLiteral("<BatchTx>"));
    QCOMPARE(batch.list->columnCount(), 7);
    QCOMPARE(batch.list->rowCount(), 3);
    int visibleWidth = 0;
    for (int c = 0; c < 7; ++c) {
        QCOMPARE(batch.list->isColumnHidden(c), widths[c] == 0);
        if (widths[c] != 0) QCOMPARE(batch.list->columnWidth(c), widths[c]);
        visibleWidth += widths[c];
        const bool canEdit = batch.list->item(0, c)->flags().testFlag(Qt::ItemIsEditable);
        QVERIFY2(canEdit == editable.contains(c), qPrintable(QString::number(c)));
    }
    QVERIFY(batch.list->minimumWidth() > visibleWidth);
    QCOMPARE(batch.list->horizontalHeaderItem(4)->text(), targetCaption);
    QCOMPARE(batch.list->horizontalHeaderItem(6)->text(), QStringLiteral("<Progress>2"));

    QVERIFY(batch.shown());
    const bool firmware = mode == CClustersSend::MODE_FIRMWARE;
    auto* autoUpdate = batch.face->findChild<QCheckBox*>(QStringLiteral("autoUpdate"));
    auto* copySoft = batch.face->findChild<QCheckBox*>(QStringLiteral("copySoft"));
    QVERIFY(autoUpdate && copySoft);
    QCOMPARE(autoUpdate->isVisible(), firmware);
    QCOMPARE(copySoft->isVisible(), firmware);
    QCOMPARE(autoUpdate->text(), QStringLiteral("<AutoUpdate>"));
    QCOMPARE(batch.button("send")->text(), QStringLiteral("<Send>"));
    QCOMPARE(batch.button("close")->text(), QStringLiteral("<Close>"));
    if (firmware) {
        // With default paths in the hidden fields no file dialog opens.
        batch.logic->setDefaultFirmware(u"/fw/NT03.bin");
        batch.logic->setDefaultSoftware(u"/fw/soft.dat");
        auto* firmwareField = batch.face->findChild<QLineEdit*>(QStringLiteral("defaultFirmware"));
        QVERIFY(firmwareField && !firmwareField->isVisible());
        autoUpdate->click();
        copySoft->click();
        QVERIFY(batch.logic->autoUpdate());
        QVERIFY(batch.logic->copySoftware());
        QVERIFY(firmwareField->isVisible());
        QCOMPARE(firmwareField->text(), QStringLiteral("/fw/NT03.bin"));
        QVERIFY(!batch.button("send")->isEnabled());
        QCOMPARE(batch.cell(0, CClustersSend::COL_TARGET), QStringLiteral("/fw/NT03.bin"));
        QCOMPARE(batch.cell(2, CClustersSend::COL_SOFTWARE), QStringLiteral("/fw/soft.dat"));
        QVERIFY(batch.face->findChild<QTimer*>(QStringLiteral("timer10001"))->isActive());
        copySoft->click();
        autoUpdate->click();
        QVERIFY(!batch.logic->copySoftware());
        QVERIFY(batch.button("send")->isEnabled());
    }
}

void BatchDialogTest::rowsAreNumberedAndDrawnOnThreeColours() {
    Batch batch(CClustersSend::MODE_SCREEN);
    QCOMPARE(batch.column(CClustersSend::COL_INDEX), (QStringList{"  1", "  2", "  3"}));
    QCOMPARE(batch.column(CClustersSend::COL_ID), (QStringList{"USB[1]", "USB[2]", "USB[3]"}));
    QVERIFY(batch.shown());
    batch.list->clearSelection();
    batch.list->setCurrentItem(nullptr);
    const QImage image = batch.list->viewport()->grab().toImage();
    const QColor expected[] = {QColor(220, 220, 255), QColor(220, 255, 220), QColor(255, 220, 220),
                               QColor(220, 220, 255)};
    // A fourth row starts the colours again.
    // A sign added to the simulation is there at once; it is made to arrive.
    batch.signs.unplug(batch.signs.addSign({}));
    batch.signs.plugIn(3);
    QTRY_COMPARE(batch.list->rowCount(), 4);
    const QImage four = batch.list->viewport()->grab().toImage();
    for (int row = 0; row < 4; ++row) {
        // The Id cell's right part holds no text.
        const QRect cell = batch.list->visualItemRect(batch.list->item(row, CClustersSend::COL_ID));
        const QPoint blank(cell.right() - 4, cell.center().y());
        QCOMPARE(four.pixelColor(blank), expected[row]);
        if (row < 3) QCOMPARE(image.pixelColor(blank), expected[row]);
        QCOMPARE(batch.list->item(row, CClustersSend::COL_ID)->foreground().color(),
                 QColor(Qt::black));
    }
}

void BatchDialogTest::choosingAScreenFillsTheRowsBelow() {
    Batch batch(CClustersSend::MODE_SCREEN);
    QVERIFY(batch.shown());
    QComboBox* combo = batch.openScreenEditor(0);
    QVERIFY(combo);
    QCOMPARE(combo->count(), 3);
    QCOMPARE(combo->itemText(0), QString());
    QCOMPARE(combo->itemText(1), QStringLiteral("Front"));
    // Down on the closed list picks the next choice, as a click in it would.
    QTest::keyClick(combo, Qt::Key_Down);
    const QStringList front{"Front", "Front", "Front"};
    QCOMPARE(batch.logicColumn(CClustersSend::COL_TARGET), front);
    QCOMPARE(batch.column(CClustersSend::COL_TARGET), front);
    QTRY_VERIFY(!batch.list->viewport()->findChild<QComboBox*>());

    // A choice on the last row changes that row only; Enter settles it.
    combo = batch.openScreenEditor(2);
    QVERIFY(combo);
    QCOMPARE(combo->currentText(), QStringLiteral("Front"));
    combo->setCurrentIndex(2);
    QTest::keyClick(combo, Qt::Key_Return);
    QTRY_COMPARE(batch.column(CClustersSend::COL_TARGET), (QStringList{"Front", "Front", "Back"}));
    QTRY_VERIFY(!batch.list->viewport()->findChild<QComboBox*>());
    QVERIFY(batch.face->isVisible());

    // Leaving the editor unchanged changes nothing.
    combo = batch.openScreenEditor(0);
    QVERIFY(combo);
    QTest::keyClick(combo, Qt::Key_Return);
    QTRY_VERIFY(!batch.list->viewport()->findChild<QComboBox*>());
    QCOMPARE(batch.logicColumn(CClustersSend::COL_TARGET), (QStringList{"Front", "Front", "Back"}));
}

void BatchDialogTest::aFileColumnOpensAFileDialog() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("main.bin"));
    {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        QCOMPARE(out.write("\x01\x02", 2), qint64(2));
    }
    Batch batch(CClustersSend::MODE_FIRMWARE);
    QVERIFY(batch.shown());

    QStringList filters;
    QTimer pilot;
    connect(&pilot, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) return;
        filters = dialog->nameFilters();
        dialog->selectFile(file);
        static_cast<QDialog*>(dialog)->accept();
    });
    pilot.start(10);
    const QRect cell = batch.list->visualItemRect(batch.list->item(0, CClustersSend::COL_TARGET));
    // A double click is a press, a release and then the double click itself.
    QTest::mouseClick(batch.list->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(batch.list->viewport(), Qt::LeftButton, {}, cell.center());
    pilot.stop();

    QCOMPARE(filters, QStringList{QStringLiteral("firmware files (*.bin)")});
    QCOMPARE(batch.column(CClustersSend::COL_TARGET), (QStringList{file, file, file}));
    QCOMPARE(batch.logicColumn(CClustersSend::COL_TARGET), (QStringList{file, file, file}));
    // No editor of its own opened in the cell.
    QVERIFY(!batch.list->viewport()->findChild<QLineEdit*>());
}

void BatchDialogTest::enterNeitherClosesNorSends() {
    Batch batch(CClustersSend::MODE_SCREEN);
    QVERIFY(batch.shown());
    batch.logic->onCellEdited(0, CClustersSend::COL_TARGET, u"Front");
    batch.list->setCurrentCell(1, CClustersSend::COL_ID);
    for (QWidget* target :
         std::vector<QWidget*>{batch.face.get(), batch.list, batch.button("send")}) {
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Return);
        QTest::keyClick(target, Qt::Key_Enter);
    }
    QVERIFY(batch.face->isVisible());
    QVERIFY(batch.logic->isOpen());
    QCOMPARE(batch.logic->imagesBuilt(), 0);
    QVERIFY(!batch.button("send")->isDefault());
    QVERIFY(!batch.button("close")->autoDefault());
}

void BatchDialogTest::closeKeepsTheSigns() {
    Batch batch(CClustersSend::MODE_SCREEN);
    QVERIFY(batch.shown());
    QTest::mouseClick(batch.button("close"), Qt::LeftButton);
    QVERIFY(!batch.face->isVisible());
    QCOMPARE(batch.face->result(), int(QDialog::Accepted));
    QVERIFY(!batch.logic->isOpen());
    QVERIFY(batch.table.contains(1) && batch.table.contains(3));
}

void BatchDialogTest::closingByTheFrameForgetsTheSigns_data() {
    QTest::addColumn<bool>("escape");
    QTest::newRow("frame") << false;
    QTest::newRow("Escape") << true;
}

void BatchDialogTest::closingByTheFrameForgetsTheSigns() {
    QFETCH(bool, escape);
    Batch batch(CClustersSend::MODE_SCREEN);
    QVERIFY(batch.shown());
    QVERIFY(batch.table.size() > 0);
    if (escape)
        QTest::keyClick(batch.list, Qt::Key_Escape);
    else
        batch.face->close();
    QVERIFY(!batch.face->isVisible());
    QCOMPARE(batch.face->result(), int(QDialog::Rejected));
    QVERIFY(!batch.logic->isOpen());
    QCOMPARE(batch.table.size(), 0);
}

void BatchDialogTest::rowUpdatesReachTheirOwnRows() {
    Batch batch(CClustersSend::MODE_SCREEN);
    QVERIFY(batch.shown());
    batch.logic->onCellEdited(0, CClustersSend::COL_TARGET, u"Front");
    QTest::mouseClick(batch.button("send"), Qt::LeftButton);
    // Each sign's worker posts its packet counts; 156 bytes are 3 packets.
    QTRY_COMPARE(batch.column(CClustersSend::COL_PROGRESS), (QStringList{"3/3", "3/3", "3/3"}));

    // The second sign leaves: its row goes, the others keep theirs and the
    // selection stays on the third sign.
    batch.list->setCurrentCell(2, CClustersSend::COL_ID);
    QTableWidgetItem* third = batch.list->item(2, CClustersSend::COL_PROGRESS);
    batch.signs.unplug(1);
    QTRY_COMPARE(batch.list->rowCount(), 2);
    QCOMPARE(batch.column(CClustersSend::COL_KEY), (QStringList{"1", "3"}));
    QCOMPARE(batch.column(CClustersSend::COL_INDEX), (QStringList{"  1", "  2"}));
    QCOMPARE(batch.column(CClustersSend::COL_ID), (QStringList{"USB[1]", "USB[3]"}));
    QCOMPARE(batch.list->currentRow(), 1);
    QCOMPARE(batch.list->item(1, CClustersSend::COL_PROGRESS), third);
    QCOMPARE(batch.list->item(1, CClustersSend::COL_ID)->background().color(),
             QColor(220, 255, 220));
}

QTEST_MAIN(BatchDialogTest)
#include "BatchDialogTest.moc"
