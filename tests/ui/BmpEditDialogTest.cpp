#include "assets/CBmpEdit.h"
#include "assets/ui/CBmpEditDialog.h"
#include "platform/qt/QtImageCodec.h"

#include <QCheckBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

// Captions that differ from their keys, so the face is seen to take the logic's.
struct Texts : platform::TextLookup {
    std::u16string text(std::u16string_view key) const override {
        return u"<" + std::u16string(key) + u">";
    }
    std::vector<platform::TextListEntry> list(std::u16string_view) const override { return {}; }
};

const QColor kLit(255, 0, 0);
const QColor kDark(18, 18, 0);
const QColor kLine(32, 32, 32);

using Cell = std::pair<int, int>;

// A data folder, the logic on it and its face, made directly and shown.
struct Editor {
    // Without a size the editor starts at its default 48 × 12.
    explicit Editor(int width = 0, int height = 0) {
        if (width > 0) {
            QFile settings(dir.filePath(QStringLiteral("ImageEditconfig.xml")));
            const QByteArray xml = QStringLiteral(
                                       "<root><configFlag>0</configFlag><m_nWidth>%1</m_nWidth>"
                                       "<m_nHeight>%2</m_nHeight><m_bZoom>0</m_bZoom></root>")
                                       .arg(width)
                                       .arg(height)
                                       .toUtf8();
            written = settings.open(QIODevice::WriteOnly) && settings.write(xml) == xml.size();
        }
        logic = std::make_unique<CBmpEdit>(CBmpEdit::Services{
            codec, texts, dir.path().toStdString(), [this] { return pictures; },
            [this](std::vector<PictureRecord> records) { pictures = std::move(records); },
            [this](std::u16string_view text) { typed.emplace_back(text); },
            [] { return int64_t{1700000000}; }});
        face = std::make_unique<CBmpEditDialog>(*logic);
        face->initDialog();
        grid = face->findChild<QWidget*>(QStringLiteral("grid"));
    }
    ~Editor() {
        face.reset();
        logic.reset();
    }

    bool shown() {
        face->show();
        return QTest::qWaitForWindowExposed(face.get());
    }
    template <typename T = QWidget>
    T* control(const char* name) const {
        return face->findChild<T*>(QLatin1String(name));
    }
    // The centre of a cell in the grid widget's own coordinates.
    static QPoint centre(Cell cell) { return {20 * cell.first + 10, 20 * cell.second + 10}; }
    void press(Cell cell, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mousePress(grid, button, {}, centre(cell));
    }
    void move(Cell cell) { QTest::mouseMove(grid, centre(cell)); }
    void release(Cell cell, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseRelease(grid, button, {}, centre(cell));
    }
    void click(const char* name) { QTest::mouseClick(control(name), Qt::LeftButton); }

    // The lit cells as the window shows them: the colour at each cell's centre in
    // the client area, where the design puts the grid (x0, 30).
    std::set<Cell> litOnScreen(int x0) const {
        const QImage image = face->grab().toImage();
        std::set<Cell> lit;
        for (int y = 0; y < logic->height(); ++y)
            for (int x = 0; x < logic->width(); ++x)
                if (image.pixelColor(x0 + 20 * x + 10, 30 + 20 * y + 10) == kLit)
                    lit.insert({x, y});
        return lit;
    }
    // The same from the logic's picture, so a cell the screen missed is told apart.
    std::set<Cell> litInPicture() const {
        std::set<Cell> lit;
        for (int y = 0; y < logic->height(); ++y)
            for (int x = 0; x < logic->width(); ++x)
                if (logic->lit(x, y)) lit.insert({x, y});
        return lit;
    }
    bool fileWritten(const char* name) const { return QFile::exists(dir.filePath(name)); }

    QTemporaryDir dir;
    bool written = true;
    platform::QtImageCodec codec;
    Texts texts;
    std::vector<PictureRecord> pictures;
    std::vector<std::u16string> typed;
    std::unique_ptr<CBmpEdit> logic;
    std::unique_ptr<CBmpEditDialog> face;
    QWidget* grid = nullptr;
};

// "(x,y) (x,y)", so a failure shows which cells differ.
QString text(const std::set<Cell>& cells) {
    QStringList out;
    for (const auto& [x, y] : cells)
        out << QStringLiteral("(%1,%2)").arg(x).arg(y);
    return out.join(QLatin1Char(' '));
}

std::set<Cell> row(int y, int from, int to) {
    std::set<Cell> cells;
    for (int x = from; x <= to; ++x)
        cells.insert({x, y});
    return cells;
}

}  // namespace

class BmpEditDialogTest : public QObject {
    Q_OBJECT
private slots:
    void theStripCarriesTheCaptionsFieldsAndIconButtons();
    void theGridIsDrawnBelowTheStripAndCentred();
    void aDragLightsEveryCellItCrosses();
    void aRightButtonDragErasesAndThePenStays();
    void theEraserButtonPaintsDarkUntilThePen();
    void theArrowsResizeTheClientArea();
    void enterAndEscapeHideWithoutWriting_data();
    void enterAndEscapeHideWithoutWriting();
    void theCloseBoxWritesThePictureAndTheSettings();
    void saveAndClearReachTheLogic();
    void theFiltersBecomeQtFilters();
};

void BmpEditDialogTest::theStripCarriesTheCaptionsFieldsAndIconButtons() {
    Editor e;
    QVERIFY(e.shown());
    QCOMPARE(e.face->windowTitle(), QStringLiteral("<ImageEdit>"));
    QCOMPARE(e.control<QLabel>("widthLabel")->text(), QStringLiteral("<Width>"));
    QCOMPARE(e.control<QLabel>("heightLabel")->text(), QStringLiteral("<Height>"));
    QCOMPARE(e.control<QPushButton>("save")->text(), QStringLiteral("<Save>"));
    QCOMPARE(e.control<QLineEdit>("width")->text(), QStringLiteral("48"));
    QCOMPARE(e.control<QLineEdit>("height")->text(), QStringLiteral("12"));
    QVERIFY(e.control<QLineEdit>("width")->isReadOnly());
    QVERIFY(e.control<QLineEdit>("height")->isReadOnly());
    // 20 × 48 wide, 30 + 20 × 12 high.
    QCOMPARE(e.face->size(), QSize(960, 270));

    for (const char* name : {"pen", "eraser", "clear", "open", "saveAs"}) {
        const auto* b = e.control<QToolButton>(name);
        QVERIFY2(b, name);
        QVERIFY2(!b->icon().pixmap(20, 20).isNull(), name);
        QVERIFY2(!b->toolTip().isEmpty(), name);
    }
    // Everything of the top row stays in the 30 pixels above the grid.
    for (const char* name :
         {"widthLabel", "width", "widthUp", "widthDown", "heightLabel", "height", "heightUp",
          "heightDown", "pen", "eraser", "clear", "open", "saveAs", "save"}) {
        QWidget* w = e.control(name);
        QVERIFY2(w && w->isVisible(), name);
        const QRect at(w->mapTo(e.face.get(), QPoint(0, 0)), w->size());
        QVERIFY2(at.top() >= 0 && at.bottom() < CBmpEdit::kGridTop, name);
        QVERIFY2(at.right() < e.face->width(), name);
    }
    QVERIFY(e.control<QCheckBox>("zoom"));
    QVERIFY(!e.control<QCheckBox>("zoom")->isVisible());
    // So that Enter never presses one of them.
    for (const QPushButton* b : e.face->findChildren<QPushButton*>())
        QVERIFY(!b->isDefault() && !b->autoDefault());
    QVERIFY(e.control<QToolButton>("pen")->isChecked());
    QVERIFY(!e.control<QToolButton>("eraser")->isChecked());
}

void BmpEditDialogTest::theGridIsDrawnBelowTheStripAndCentred() {
    // 10 columns in a client area 640 wide: the grid starts at (640 − 200) / 2 = 220.
    Editor e(10, 5);
    QVERIFY(e.written);
    QVERIFY(e.shown());
    QCOMPARE(e.face->size(), QSize(640, 130));
    QCOMPARE(e.grid->pos(), QPoint(220, 30));
    e.press({3, 2});
    e.release({3, 2});
    const QImage image = e.face->grab().toImage();
    QCOMPARE(image.pixelColor(220 + 70, 30 + 50), kLit);
    QCOMPARE(image.pixelColor(220 + 10, 30 + 10), kDark);
    QCOMPARE(image.pixelColor(220 + 50, 30 + 50), kDark);
    // The lines, two pixels wide, on the cells' edges.
    QCOMPARE(image.pixelColor(220, 30 + 10), kLine);
    QCOMPARE(image.pixelColor(221, 30 + 10), kLine);
    QCOMPARE(image.pixelColor(220 + 15, 30), kLine);
    QCOMPARE(image.pixelColor(220 + 40, 30 + 10), kLine);
    // Beside the grid is the window's own background.
    QVERIFY(image.pixelColor(210, 60) != kLine && image.pixelColor(210, 60) != kDark);
}

void BmpEditDialogTest::aDragLightsEveryCellItCrosses() {
    Editor e(10, 5);
    QVERIFY(e.shown());
    // Cell by cell along row 1, then one fast jump over three cells.
    e.press({1, 1});
    e.move({2, 1});
    e.move({6, 1});
    e.release({6, 1});
    std::set<Cell> expected = row(1, 1, 6);
    QCOMPARE(text(e.litInPicture()), text(expected));
    QCOMPARE(text(e.litOnScreen(220)), text(expected));

    // A diagonal in one move: one cell per row and column.
    e.press({0, 0});
    e.move({4, 4});
    e.release({4, 4});
    expected.insert({{0, 0}, {2, 2}, {3, 3}, {4, 4}});  // (1, 1) is already lit
    QCOMPARE(text(e.litInPicture()), text(expected));
    QCOMPARE(text(e.litOnScreen(220)), text(expected));

    // Once released, moving the pointer paints nothing.
    e.move({8, 3});
    e.move({9, 4});
    QCOMPARE(text(e.litInPicture()), text(expected));
    QVERIFY(!e.logic->drawing());
}

void BmpEditDialogTest::aRightButtonDragErasesAndThePenStays() {
    Editor e(10, 5);
    QVERIFY(e.shown());
    e.press({0, 2});
    e.move({9, 2});
    e.release({9, 2});
    QCOMPARE(text(e.litInPicture()), text(row(2, 0, 9)));

    e.press({3, 2}, Qt::RightButton);
    e.move({4, 2});
    e.move({6, 2});
    e.release({6, 2}, Qt::RightButton);
    std::set<Cell> expected = row(2, 0, 2);
    expected.merge(row(2, 7, 9));
    QCOMPARE(text(e.litInPicture()), text(expected));
    QCOMPARE(text(e.litOnScreen(220)), text(expected));

    // The left button still paints red.
    QVERIFY(e.control<QToolButton>("pen")->isChecked());
    e.press({5, 2});
    e.release({5, 2});
    expected.insert({5, 2});
    QCOMPARE(text(e.litInPicture()), text(expected));
}

void BmpEditDialogTest::theEraserButtonPaintsDarkUntilThePen() {
    Editor e(10, 5);
    QVERIFY(e.shown());
    e.press({0, 0});
    e.move({9, 0});
    e.release({9, 0});

    e.click("eraser");
    QVERIFY(e.control<QToolButton>("eraser")->isChecked());
    QVERIFY(!e.control<QToolButton>("pen")->isChecked());
    e.press({2, 0});
    e.move({7, 0});
    e.release({7, 0});
    std::set<Cell> expected = row(0, 0, 1);
    expected.merge(row(0, 8, 9));
    QCOMPARE(text(e.litInPicture()), text(expected));

    // Clicking the eraser again keeps it the tool; the pen takes over.
    e.click("eraser");
    QVERIFY(e.control<QToolButton>("eraser")->isChecked());
    e.click("pen");
    QVERIFY(e.control<QToolButton>("pen")->isChecked());
    QVERIFY(!e.control<QToolButton>("eraser")->isChecked());
    e.press({4, 3});
    e.release({4, 3});
    expected.insert({4, 3});
    QCOMPARE(text(e.litInPicture()), text(expected));
}

void BmpEditDialogTest::theArrowsResizeTheClientArea() {
    Editor e(31, 5);
    QVERIFY(e.shown());
    // 31 columns still get the 32-column width: (640 − 620) / 2 = 10.
    QCOMPARE(e.face->size(), QSize(640, 130));
    QCOMPARE(e.grid->pos(), QPoint(10, 30));
    const QPoint corner = e.face->geometry().topLeft();

    e.click("widthUp");
    QCOMPARE(e.control<QLineEdit>("width")->text(), QStringLiteral("32"));
    QCOMPARE(e.face->size(), QSize(640, 130));
    QCOMPARE(e.grid->pos(), QPoint(0, 30));
    e.click("widthUp");
    QCOMPARE(e.control<QLineEdit>("width")->text(), QStringLiteral("33"));
    QCOMPARE(e.face->size(), QSize(660, 130));
    QCOMPARE(e.grid->size(), QSize(662, 102));

    e.click("heightDown");
    QCOMPARE(e.control<QLineEdit>("height")->text(), QStringLiteral("4"));
    QCOMPARE(e.face->size(), QSize(660, 110));
    e.click("heightUp");
    e.click("heightUp");
    QCOMPARE(e.control<QLineEdit>("height")->text(), QStringLiteral("6"));
    QCOMPARE(e.face->size(), QSize(660, 150));
    e.click("widthDown");
    QCOMPARE(e.control<QLineEdit>("width")->text(), QStringLiteral("32"));
    QCOMPARE(e.face->size(), QSize(640, 150));
    QCOMPARE(e.face->geometry().topLeft(), corner);

    // The new bottom row takes paint where the window grew.
    e.press({5, 5});
    e.release({5, 5});
    QCOMPARE(text(e.litOnScreen(0)), QStringLiteral("(5,5)"));
}

void BmpEditDialogTest::enterAndEscapeHideWithoutWriting_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("onSave");
    QTest::newRow("Return") << int(Qt::Key_Return) << false;
    QTest::newRow("Enter on the Save button") << int(Qt::Key_Enter) << true;
    QTest::newRow("Return on the Save button") << int(Qt::Key_Return) << true;
    QTest::newRow("Escape") << int(Qt::Key_Escape) << false;
}

void BmpEditDialogTest::enterAndEscapeHideWithoutWriting() {
    QFETCH(int, key);
    QFETCH(bool, onSave);
    Editor e(10, 5);
    QVERIFY(e.shown());
    QVERIFY(QFile::remove(e.dir.filePath(QStringLiteral("ImageEditconfig.xml"))));
    e.press({1, 1});
    e.release({1, 1});
    QWidget* target = e.face.get();
    if (onSave) {
        target = e.control("save");
        target->setFocus();
    }
    QTest::keyClick(target, static_cast<Qt::Key>(key));
    QVERIFY(!e.face->isVisible());
    QVERIFY(!e.fileWritten("ImageEditconfig.xml"));
    QVERIFY(!e.fileWritten("lastImage.bmp"));
    QVERIFY(!QDir(e.dir.filePath(QStringLiteral("EditBmps"))).exists());
    QVERIFY(e.pictures.empty());
    QVERIFY(e.typed.empty());
}

void BmpEditDialogTest::theCloseBoxWritesThePictureAndTheSettings() {
    Editor e(10, 5);
    QVERIFY(e.shown());
    e.press({1, 1});
    e.release({1, 1});
    e.click("widthUp");
    // The hidden box is what the settings keep.
    e.control<QCheckBox>("zoom")->setChecked(true);
    QVERIFY(e.face->close());
    QVERIFY(!e.face->isVisible());

    QFile settings(e.dir.filePath(QStringLiteral("ImageEditconfig.xml")));
    QVERIFY(settings.open(QIODevice::ReadOnly));
    const QString xml = QString::fromUtf8(settings.readAll());
    QVERIFY2(xml.contains(QStringLiteral("<m_nWidth>11</m_nWidth>")), qPrintable(xml));
    QVERIFY2(xml.contains(QStringLiteral("<m_nHeight>5</m_nHeight>")), qPrintable(xml));
    QVERIFY2(xml.contains(QStringLiteral("<m_bZoom>1</m_bZoom>")), qPrintable(xml));

    const QImage last(e.dir.filePath(QStringLiteral("lastImage.bmp")));
    QCOMPARE(last.size(), QSize(11, 5));
    QCOMPARE(last.pixelColor(1, 1), kLit);
    QCOMPARE(last.pixelColor(2, 1), QColor(0, 0, 0));
}

void BmpEditDialogTest::saveAndClearReachTheLogic() {
    Editor e(10, 5);
    QVERIFY(e.shown());
    e.press({0, 0});
    e.move({3, 3});
    e.release({3, 3});
    e.click("save");
    QVERIFY(e.fileWritten("EditBmps/1700000000.bmp"));
    QCOMPARE(e.pictures.size(), size_t{1});
    QCOMPARE(e.pictures[0].nValueID, 50);
    QCOMPARE(e.typed, std::vector<std::u16string>{u"[50]"});
    // Save does not end the window.
    QVERIFY(e.face->isVisible());

    e.click("clear");
    QVERIFY(e.litInPicture().empty());
    QVERIFY(e.litOnScreen(220).empty());
}

void BmpEditDialogTest::theFiltersBecomeQtFilters() {
    const QString expected = QStringLiteral("Image Files (*.bmp *jpg *.jpeg *.png)");
    QCOMPARE(CBmpEditDialog::qtFilter(CBmpEdit::kOpenFilter), expected);
    QCOMPARE(CBmpEditDialog::qtFilter(CBmpEdit::kSaveFilter), expected);
    QCOMPARE(CBmpEditDialog::qtFilter(u"A(*.a)|*.a|B files|*.b;;*.c;*.b||"),
             QStringLiteral("A (*.a);;B files (*.b *.c)"));
}

QTEST_MAIN(BmpEditDialogTest)
#include "BmpEditDialogTest.moc"
