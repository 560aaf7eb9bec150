#include "assets/CDialogAddImages.h"
#include "assets/ui/CDialogAddImagesDialog.h"
#include "platform/qt/QtImageCodec.h"
#include "support/GifWriter.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <array>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace {

// Captions that differ from their keys, so the face is seen to take the logic's.
struct Texts : platform::TextLookup {
    std::u16string text(std::u16string_view key) const override {
        return u"<" + std::u16string(key) + u">";
    }
    std::vector<platform::TextListEntry> list(std::u16string_view) const override { return {}; }
};

using Posted = std::tuple<uint32_t, uintptr_t, intptr_t>;

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kYellow = 0xFFFF00;

// 4 × 4 frames: the left half one palette entry, the right half another.
std::vector<uint8_t> halves(uint8_t left, uint8_t right) {
    std::vector<uint8_t> pixels(16);
    for (int k = 0; k < 16; ++k)
        pixels[k] = (k % 4) < 2 ? left : right;
    return pixels;
}

bool writeBytes(const QString& file, const std::string& bytes) {
    QFile out(file);
    return out.open(QIODevice::WriteOnly) &&
           out.write(bytes.data(), static_cast<qint64>(bytes.size())) ==
               static_cast<qint64>(bytes.size());
}

// A temporary data folder with three GIFs in its library, and the face made
// directly (not run modally); what it posts is recorded.
struct Library {
    Library() {
        const std::vector<uint32_t> palette{0, kRed, kGreen, kBlue, kYellow};
        // Two frames: red|green, then blue|yellow.
        files << dir.filePath(QStringLiteral("two.gif"));
        // One frame: blue|blue.
        files << dir.filePath(QStringLiteral("one.gif"));
        // Three frames: green, yellow, red.
        files << dir.filePath(QStringLiteral("three.gif"));
        ok = dir.isValid() &&
             writeBytes(files[0],
                        testing_support::gif(4, 4, {halves(1, 2), halves(3, 4)}, palette)) &&
             writeBytes(files[1], testing_support::gif(4, 4, {halves(3, 3)}, palette)) &&
             writeBytes(files[2], testing_support::gif(
                                      4, 4, {halves(2, 2), halves(4, 4), halves(1, 1)}, palette));
        std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><GifFiles>";
        for (int k = 0; k < files.size(); ++k)
            xml += "<Item Index=\"0" + std::to_string(k) + "\" Speed=\"200\">" +
                   files[k].toStdString() + "</Item>";
        xml += "</GifFiles>";
        libraryFile = dir.filePath(QStringLiteral("GifFiles.xml"));
        ok = ok && writeBytes(libraryFile, xml);
    }

    void open() {
        logic = std::make_unique<CDialogAddImages>(texts, codec, libraryFile.toStdString(),
                                                   dir.path().toStdString(), frameCounter);
        face = std::make_unique<CDialogAddImagesDialog>(
            *logic, [this](uint32_t m, uintptr_t w, intptr_t l) { posted.emplace_back(m, w, l); });
        list = face->findChild<QTableWidget*>(QStringLiteral("list"));
    }
    ~Library() {
        face.reset();
        logic.reset();
    }

    bool shown() {
        face->show();
        return QTest::qWaitForWindowExposed(face.get());
    }
    QStringList column(int c) const {
        QStringList out;
        for (int row = 0; row < list->rowCount(); ++row)
            out << (list->item(row, c) ? list->item(row, c)->text() : QStringLiteral("<none>"));
        return out;
    }
    QPushButton* button(const char* name) const {
        return face->findChild<QPushButton*>(QLatin1String(name));
    }
    void clickRow(int row, Qt::KeyboardModifiers modifiers = {}) {
        const QRect cell = list->visualItemRect(list->item(row, 1));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, cell.center());
    }
    QImage preview() const {
        return face->findChild<QWidget*>(QStringLiteral("previewArea"))->grab().toImage();
    }
    // A pixel a quarter in from the left and from the right, at mid-height.
    std::array<QColor, 2> previewHalves() const {
        const QImage image = preview();
        const int y = image.height() / 2;
        return {image.pixelColor(image.width() / 4, y), image.pixelColor(3 * image.width() / 4, y)};
    }

    QTemporaryDir dir;
    QStringList files;
    QString libraryFile;
    bool ok = false;
    Texts texts;
    platform::QtImageCodec codec;
    uint64_t frameCounter = 0;
    std::vector<Posted> posted;
    std::unique_ptr<CDialogAddImages> logic;
    std::unique_ptr<CDialogAddImagesDialog> face;
    QTableWidget* list = nullptr;
};

QColor colour(uint32_t rgb) {
    return QColor(static_cast<int>(rgb >> 16), static_cast<int>(rgb >> 8 & 0xFF),
                  static_cast<int>(rgb & 0xFF));
}

}  // namespace

class AnimationDialogTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void gifWriterRoundTrips_data();
    void gifWriterRoundTrips();
    void filtersTakeQtForm_data();
    void filtersTakeQtForm();
    void listShowsTheLibraryInItsColours();
    void controlsTakeTheLogicsCaptions();
    void previewShowsTheSelectedFirstFrameStretched();
    void removingEveryRowBlackensThePreview();
    void addOffersGifFilesAndSelectsWhatItAdded();
    void arrowsMoveThePathAndTheSelection();
    void previewPlaysTheFramesUntilStopped();
    void updateSendsToTheFirstSignAndBatchTxToAll();
    void okSavesAndCloses();
    void closingWithoutOkCancels_data();
    void closingWithoutOkCancels();
};

void AnimationDialogTest::gifWriterRoundTrips_data() {
    QTest::addColumn<int>("colours");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    // Two colours use the smallest code size (2 bits, 3-bit codes); 256 use
    // 9-bit codes over more pixels than one table holds.
    QTest::newRow("2 colours") << 2 << 7 << 3;
    QTest::newRow("5 colours") << 5 << 9 << 9;
    QTest::newRow("256 colours") << 256 << 37 << 29;
}

void AnimationDialogTest::gifWriterRoundTrips() {
    QFETCH(int, colours);
    QFETCH(int, width);
    QFETCH(int, height);
    std::vector<uint32_t> palette;
    for (int k = 0; k < colours; ++k)
        palette.push_back(static_cast<uint32_t>(k) << 16 | static_cast<uint32_t>(255 - k) << 8 |
                          static_cast<uint32_t>(k * 7 % 256));
    std::vector<std::vector<uint8_t>> frames(2);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            frames[0].push_back(static_cast<uint8_t>((x + y * width) % colours));
            frames[1].push_back(static_cast<uint8_t>((x * 3 + y) % colours));
        }
    platform::QtImageCodec codec;
    std::vector<platform::ImageFrame> decoded;
    QVERIFY(codec.decodeFrames(testing_support::gif(width, height, frames, palette), decoded));
    QCOMPARE(decoded.size(), size_t{2});
    for (size_t f = 0; f < 2; ++f) {
        QCOMPARE(decoded[f].image.width(), width);
        QCOMPARE(decoded[f].image.height(), height);
        QCOMPARE(decoded[f].delayMs, 100);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const uint32_t expected =
                    0xFF000000u | palette[frames[f][static_cast<size_t>(y * width + x)]];
                if (decoded[f].image.pixel(x, y) != expected)
                    QFAIL(qPrintable(QStringLiteral("frame %1 pixel (%2, %3): %4 for %5")
                                         .arg(f)
                                         .arg(x)
                                         .arg(y)
                                         .arg(decoded[f].image.pixel(x, y), 8, 16)
                                         .arg(expected, 8, 16)));
            }
    }
}

void AnimationDialogTest::filtersTakeQtForm_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("expected");
    QTest::newRow("the library's") << "gif Files "
                                   << "*.gif;*.gif;"
                                   << "gif Files  (*.gif)";
    QTest::newRow("two kinds") << "pictures"
                               << ";*.bmp;;*.png;*.bmp"
                               << "pictures (*.bmp *.png)";
    QTest::newRow("no pattern") << "all"
                                << ";;"
                                << "all (*)";
}

void AnimationDialogTest::filtersTakeQtForm() {
    QFETCH(QString, name);
    QFETCH(QString, pattern);
    QFETCH(QString, expected);
    QCOMPARE(CDialogAddImagesDialog::qtFilter(name.toStdU16String(), pattern.toStdU16String()),
             expected);
}

void AnimationDialogTest::listShowsTheLibraryInItsColours() {
    Library lib;
    QVERIFY(lib.ok);
    lib.open();
    QVERIFY(lib.list);
    QCOMPARE(lib.face->objectName(), QStringLiteral("CDialogAddImages"));
    QCOMPARE(lib.face->windowTitle(), QStringLiteral("<GifImage>"));
    QCOMPARE(lib.list->columnCount(), 2);
    QCOMPARE(lib.list->horizontalHeaderItem(0)->text(), QStringLiteral("<Index>"));
    QCOMPARE(lib.list->horizontalHeaderItem(1)->text(), QStringLiteral("<Path>"));
    QCOMPARE(lib.list->columnWidth(0), 50);
    QCOMPARE(lib.list->columnWidth(1), 300);
    QVERIFY(lib.list->showGrid());
    QCOMPARE(lib.list->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(lib.list->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(lib.column(0), (QStringList{" 0", " 1", " 2"}));
    QCOMPARE(lib.column(1), lib.files);

    QVERIFY(lib.shown());
    lib.list->clearSelection();
    lib.list->setCurrentItem(nullptr);
    const QImage image = lib.list->viewport()->grab().toImage();
    for (int row = 0; row < 3; ++row) {
        QCOMPARE(lib.list->item(row, 1)->foreground().color(), QColor(0, 0, 255));
        // The position cell's right part holds no text.
        const QRect cell = lib.list->visualItemRect(lib.list->item(row, 0));
        QCOMPARE(image.pixelColor(cell.right() - 3, cell.center().y()), QColor(220, 220, 255));
    }
    // Below the rows the list is pale too.
    QCOMPARE(image.pixelColor(image.width() / 2, image.height() - 3), QColor(220, 220, 255));
}

void AnimationDialogTest::controlsTakeTheLogicsCaptions() {
    Library lib;
    QVERIFY(lib.ok);
    lib.open();
    const std::pair<const char*, QString> buttons[] = {{"add", "<Add>"},
                                                       {"remove", "<Remove>"},
                                                       {"up", QString(QChar(0x25B2))},
                                                       {"down", QString(QChar(0x25BC))},
                                                       {"preview", "<Preview>"},
                                                       {"ok", "<OK>"},
                                                       {"cancel", "<Cancel>"}};
    for (const auto& [name, caption] : buttons) {
        QPushButton* b = lib.button(name);
        QVERIFY2(b, name);
        QCOMPARE(b->text(), caption);
        QVERIFY(b->isEnabled());
    }
    auto* update = lib.face->findChild<QToolButton*>(QStringLiteral("update"));
    QVERIFY(update && update->menu());
    QCOMPARE(update->text(), QStringLiteral("<Update>"));
    QCOMPARE(update->popupMode(), QToolButton::MenuButtonPopup);
    QCOMPARE(update->menu()->actions().size(), 1);
    QCOMPARE(update->menu()->actions().front()->text(), QStringLiteral("<BatchTx>"));
    bool max = false;
    for (const QLabel* label : lib.face->findChildren<QLabel*>())
        max = max || label->text() == QStringLiteral("Max = 50");
    QVERIFY(max);
}

void AnimationDialogTest::previewShowsTheSelectedFirstFrameStretched() {
    Library lib;
    QVERIFY(lib.ok);
    lib.open();
    QVERIFY(lib.shown());
    // The first row's first frame shows from the start, over the whole area.
    QCOMPARE(lib.previewHalves(), (std::array{colour(kRed), colour(kGreen)}));
    const QImage first = lib.preview();
    QCOMPARE(first.pixelColor(3, 3), colour(kRed));
    QCOMPARE(first.pixelColor(first.width() - 4, first.height() - 4), colour(kGreen));

    lib.clickRow(1);
    QCOMPARE(lib.logic->selection(), std::vector<int>{1});
    QCOMPARE(lib.previewHalves(), (std::array{colour(kBlue), colour(kBlue)}));
    lib.clickRow(2);
    QCOMPARE(lib.previewHalves(), (std::array{colour(kGreen), colour(kGreen)}));

    // Several rows: Shift extends, Ctrl adds; the preview keeps the first.
    lib.clickRow(0);
    lib.clickRow(1, Qt::ShiftModifier);
    QCOMPARE(lib.logic->selection(), (std::vector<int>{0, 1}));
    lib.clickRow(2, Qt::ControlModifier);
    QCOMPARE(lib.logic->selection(), (std::vector<int>{0, 1, 2}));
    QCOMPARE(lib.previewHalves(), (std::array{colour(kRed), colour(kGreen)}));
}

void AnimationDialogTest::removingEveryRowBlackensThePreview() {
    Library lib;
    QVERIFY(lib.ok);
    lib.open();
    QVERIFY(lib.shown());
    lib.clickRow(2);
    lib.clickRow(0, Qt::ShiftModifier);
    QTest::mouseClick(lib.button("remove"), Qt::LeftButton);
    QCOMPARE(lib.list->rowCount(), 0);
    QVERIFY(lib.list->selectionModel()->selectedIndexes().isEmpty());
    const QImage image = lib.preview();
    for (const QPoint p : {QPoint(3, 3), QPoint(image.width() / 2, image.height() / 2),
                           QPoint(image.width() - 4, image.height() - 4)})
        QCOMPARE(image.pixelColor(p), QColor(Qt::black));
}

void AnimationDialogTest::addOffersGifFilesAndSelectsWhatItAdded() {
    Library lib;
    QVERIFY(lib.ok);
    lib.open();
    QVERIFY(lib.shown());
    lib.clickRow(0);

    QStringList filters;
    QTimer pilot;
    connect(&pilot, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) return;
        filters = dialog->nameFilters();
        dialog->setDirectory(lib.dir.path());
        dialog->selectFile(QStringLiteral("\"three.gif\" \"one.gif\""));
        static_cast<QDialog*>(dialog)->accept();
    });
    pilot.start(10);
    QTest::mouseClick(lib.button("add"), Qt::LeftButton);
    pilot.stop();

    // The file dialog shows its filters with runs of spaces collapsed.
    QCOMPARE(filters, QStringList{QStringLiteral("gif Files (*.gif)")});
    QCOMPARE(lib.list->rowCount(), 5);
    QCOMPARE(lib.column(0), (QStringList{" 0", " 1", " 2", " 3", " 4"}));
    QCOMPARE(lib.column(1).mid(3), (QStringList{lib.files[2], lib.files[1]}));
    // The last one added is selected, current and shown.
    QCOMPARE(lib.logic->selection(), std::vector<int>{4});
    QCOMPARE(lib.list->selectionModel()->selectedRows().size(), 1);
    QCOMPARE(lib.list->currentRow(), 4);
    QVERIFY(lib.list->item(4, 1)->isSelected());
    QCOMPARE(lib.previewHalves(), (std::array{colour(kBlue), colour(kBlue)}));
}

void AnimationDialogTest::arrowsMoveThePathAndTheSelection() {
    Library lib;
    QVERIFY(lib.ok);
    lib.open();
    QVERIFY(lib.shown());
    lib.clickRow(0);
    QTest::mouseClick(lib.button("down"), Qt::LeftButton);
    QCOMPARE(lib.column(0), (QStringList{" 0", " 1", " 2"}));
    QCOMPARE(lib.column(1), (QStringList{lib.files[1], lib.files[0], lib.files[2]}));
    QCOMPARE(lib.list->currentRow(), 1);
    QVERIFY(lib.list->item(1, 0)->isSelected() && lib.list->item(1, 1)->isSelected());
    QVERIFY(!lib.list->item(0, 1)->isSelected());
    QTest::mouseClick(lib.button("up"), Qt::LeftButton);
    QCOMPARE(lib.column(1), lib.files);
    QCOMPARE(lib.list->currentRow(), 0);
    QVERIFY(lib.list->item(0, 1)->isSelected() && !lib.list->item(1, 1)->isSelected());
}

void AnimationDialogTest::previewPlaysTheFramesUntilStopped() {
    Library lib;
    QVERIFY(lib.ok);
    lib.open();
    QVERIFY(lib.shown());
    lib.clickRow(0);
    QPushButton* preview = lib.button("preview");
    QTest::mouseClick(preview, Qt::LeftButton);
    QCOMPARE(preview->text(), QStringLiteral("<Stop>"));
    for (const char* name : {"ok", "cancel", "add", "remove"})
        QVERIFY2(!lib.button(name)->isEnabled(), name);
    QVERIFY(lib.button("up")->isEnabled());
    auto* timer = lib.face->findChild<QTimer*>(
        QStringLiteral("timer%1").arg(CDialogAddImages::TIMER_PREVIEW));
    QVERIFY(timer && timer->isActive());
    QCOMPARE(timer->interval(), CDialogAddImages::kPreviewPeriodMs);

    // The ticks show frame 0, then frame 1, then frame 0 again.
    QTRY_COMPARE(lib.frameCounter, uint64_t{1});
    QCOMPARE(lib.previewHalves(), (std::array{colour(kRed), colour(kGreen)}));
    QTRY_COMPARE(lib.frameCounter, uint64_t{2});
    QCOMPARE(lib.previewHalves(), (std::array{colour(kBlue), colour(kYellow)}));
    QTRY_COMPARE(lib.frameCounter, uint64_t{1});
    QCOMPARE(lib.previewHalves(), (std::array{colour(kRed), colour(kGreen)}));

    QTest::mouseClick(preview, Qt::LeftButton);
    QCOMPARE(preview->text(), QStringLiteral("<Preview>"));
    QVERIFY(!timer->isActive());
    for (const char* name : {"ok", "cancel", "add", "remove"})
        QVERIFY2(lib.button(name)->isEnabled(), name);
    QVERIFY(lib.posted.empty());
}

void AnimationDialogTest::updateSendsToTheFirstSignAndBatchTxToAll() {
    Library lib;
    QVERIFY(lib.ok);
    lib.open();
    QVERIFY(lib.shown());
    auto* update = lib.face->findChild<QToolButton*>(QStringLiteral("update"));
    QVERIFY(update);
    // The button's own part, away from its arrow.
    QTest::mouseClick(update, Qt::LeftButton, {}, QPoint(6, update->height() / 2));
    QCOMPARE(lib.posted, (std::vector<Posted>{{0x0805, 1, 0}}));

    bool chosen = false;
    QTimer pilot;
    connect(&pilot, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu || !menu->isVisible() || chosen) return;
        chosen = true;
        menu->setActiveAction(menu->actions().front());
        QTest::keyClick(menu, Qt::Key_Return);
    });
    pilot.start(10);
    // The arrow opens the drop-down and waits in it until an item is chosen.
    QTest::mouseClick(update, Qt::LeftButton, {},
                      QPoint(update->width() - 4, update->height() / 2));
    QTRY_VERIFY(chosen);
    pilot.stop();
    QTRY_COMPARE(lib.posted.size(), size_t{2});
    QCOMPARE(lib.posted.back(), (Posted{0x0805, 1, 1}));
    QVERIFY(lib.face->isVisible());
}

void AnimationDialogTest::okSavesAndCloses() {
    Library lib;
    QVERIFY(lib.ok);
    lib.open();
    QVERIFY(lib.shown());
    lib.clickRow(2);
    QTest::mouseClick(lib.button("up"), Qt::LeftButton);
    QTest::mouseClick(lib.button("ok"), Qt::LeftButton);
    QVERIFY(!lib.face->isVisible());
    QCOMPARE(lib.face->result(), int(QDialog::Accepted));
    // Saved: the editors reload; nothing was added or removed, so nothing is sent.
    QCOMPARE(lib.posted, (std::vector<Posted>{{0x0807, 0, 0}}));
    QFile saved(lib.libraryFile);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QString xml = QString::fromUtf8(saved.readAll());
    QVERIFY(xml.indexOf(lib.files[2]) < xml.indexOf(lib.files[1]));
}

void AnimationDialogTest::closingWithoutOkCancels_data() {
    QTest::addColumn<bool>("escape");
    QTest::addColumn<bool>("previewing");
    QTest::newRow("Escape") << true << false;
    QTest::newRow("frame") << false << false;
    QTest::newRow("Escape while previewing") << true << true;
    QTest::newRow("frame while previewing") << false << true;
}

void AnimationDialogTest::closingWithoutOkCancels() {
    QFETCH(bool, escape);
    QFETCH(bool, previewing);
    Library lib;
    QVERIFY(lib.ok);
    QFile before(lib.libraryFile);
    QVERIFY(before.open(QIODevice::ReadOnly));
    const QByteArray library = before.readAll();
    lib.open();
    QVERIFY(lib.shown());
    lib.clickRow(1);
    QTest::mouseClick(lib.button("remove"), Qt::LeftButton);
    QCOMPARE(lib.list->rowCount(), 2);
    lib.clickRow(0);
    if (previewing) QTest::mouseClick(lib.button("preview"), Qt::LeftButton);
    QCOMPARE(lib.logic->previewRunning(), previewing);

    if (escape)
        QTest::keyClick(lib.list, Qt::Key_Escape);
    else
        lib.face->close();
    QVERIFY(!lib.face->isVisible());
    QCOMPARE(lib.face->result(), int(QDialog::Rejected));
    QVERIFY(!lib.logic->previewRunning());
    if (auto* timer = lib.face->findChild<QTimer*>(
            QStringLiteral("timer%1").arg(CDialogAddImages::TIMER_PREVIEW)))
        QVERIFY(!timer->isActive());
    QVERIFY(lib.posted.empty());
    QFile after(lib.libraryFile);
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), library);
}

QTEST_MAIN(AnimationDialogTest)
#include "AnimationDialogTest.moc"
