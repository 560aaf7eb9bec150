#include "device/LinkProtocol.h"
#include "device/sim/SimulatedSign.h"
#include "device/ui/CVirtualSignWindow.h"
#include "platform/Clock.h"
#include "preview/ui/CPreviewDlg.h"
#include "preview/ui/FrameMailbox.h"
#include "preview/ui/LedPanel.h"
#include "preview/ui/VirtualSignPlayer.h"

#include <QFile>
#include <QMouseEvent>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <thread>
#include <vector>

namespace {

// The sign window's texts by key: what it plays is the point here, not its words.
struct KeyTexts : platform::TextLookup {
    std::u16string text(std::u16string_view key) const override { return std::u16string(key); }
    std::vector<platform::TextListEntry> list(std::u16string_view) const override { return {}; }
};

// Counts the paints a widget gets.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

// Lets every posted word and every repaint it asks for through.
void settle() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

std::vector<uint8_t> fixtureImage(const char* name) {
    QFile file(QStringLiteral(ZENTARI_FIXTURES "/images/%1/expected.bin").arg(name));
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = file.readAll();
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

bool anyLit(const std::vector<bool>& leds) {
    return std::find(leds.begin(), leds.end(), true) != leds.end();
}

// 48 × 12 with LED (0, 0) lit and every other dark.
PreviewFrame oneLit() {
    PreviewFrame frame = LedPanel::darkFrame(48, 12);
    frame.lit[0] = true;
    return frame;
}

// Frames offered from another thread, as the refresher offers them.
void offerFromAnotherThread(CPreviewDlg& dlg, const std::vector<PreviewFrame>& frames) {
    std::thread refresher([&] {
        for (const PreviewFrame& frame : frames)
            dlg.frameArrived(frame);
    });
    refresher.join();
}

}  // namespace

class PreviewWindowTest : public QObject {
    Q_OBJECT
private slots:
    void theMailboxTellsOnceForEachChangeAndHandsOverTheNewest();
    void anUnplayableImageShowsTheUnlitDefaultSign();
    void aFrameIsDrawnAsRoundLedsBehindTheGrid();
    void onlyAFrameThatDiffersIsRepainted();
    void theLeftButtonDragsTheWindowInsideTheView();
    void theCaptionFollowsTheProgramsAsTheyStart();
    void aPlayableImageTakesItsSignsSizeAndLightsLeds();
    void aVirtualSignPlaysWhatItReceivedUntilPulled();
};

void PreviewWindowTest::theMailboxTellsOnceForEachChangeAndHandsOverTheNewest() {
    FrameMailbox box;
    const PreviewFrame dark = LedPanel::darkFrame(48, 12);
    PreviewFrame second = oneLit();
    second.lit[5] = true;
    box.reset(dark);
    QVERIFY(!box.put(dark));  // what is shown already
    QVERIFY(!box.take());
    QVERIFY(box.put(oneLit()));
    QVERIFY(!box.put(second));  // a word is on its way
    QVERIFY(!box.put(second));
    QCOMPARE(box.take(), std::optional<PreviewFrame>(second));
    QVERIFY(!box.put(second));
    QVERIFY(box.put(dark));
    // A new player: the word on its way finds nothing new.
    box.reset(LedPanel::darkFrame(36, 11));
    QVERIFY(!box.take());
}

void PreviewWindowTest::anUnplayableImageShowsTheUnlitDefaultSign() {
    CPreviewDlg dlg;
    dlg.restart(std::vector<uint8_t>(99, 0x02), {}, 16, {u"Sale"});
    QVERIFY(!dlg.playing());
    QCOMPARE(dlg.leds().size(), QSize(480, 120));
    QCOMPARE(dlg.leds().frame(), LedPanel::darkFrame(48, 12));
    QCOMPARE(dlg.caption(), QString());
}

void PreviewWindowTest::aFrameIsDrawnAsRoundLedsBehindTheGrid() {
    CPreviewDlg dlg;
    dlg.restart({}, {}, 16, {});
    offerFromAnotherThread(dlg, {oneLit()});
    settle();
    QCOMPARE(dlg.leds().frame(), oneLit());

    const QImage image = dlg.leds().grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(image.size(), QSize(480, 120));
    struct Pixel {
        int x, y;
        QRgb colour;
        const char* what;
    };
    const Pixel pixels[] = {
        {5, 5, qRgb(255, 0, 0), "the lit LED's middle"},
        {3, 6, qRgb(255, 0, 0), "inside the lit LED"},
        {15, 5, qRgb(18, 18, 0), "a dark LED's middle"},
        {475, 115, qRgb(18, 18, 0), "the last LED's middle"},
        {9, 9, qRgb(0, 0, 0), "the lit LED's cell outside its circle"},
        {11, 11, qRgb(0, 0, 0), "a dark LED's cell outside its circle"},
        {10, 5, qRgb(0x20, 0x20, 0x20), "a vertical grid line"},
        {0, 7, qRgb(0x20, 0x20, 0x20), "the left border"},
        {25, 10, qRgb(0x20, 0x20, 0x20), "a horizontal grid line"},
        {470, 113, qRgb(0x20, 0x20, 0x20), "the last vertical line"},
    };
    for (const Pixel& p : pixels) {
        if (image.pixel(p.x, p.y) != p.colour)
            QFAIL(qPrintable(QStringLiteral("%1 at (%2, %3) is %4, not %5")
                                 .arg(QString::fromLatin1(p.what))
                                 .arg(p.x)
                                 .arg(p.y)
                                 .arg(image.pixel(p.x, p.y) & 0xFFFFFF, 6, 16, QLatin1Char('0'))
                                 .arg(p.colour & 0xFFFFFF, 6, 16, QLatin1Char('0'))));
    }
}

void PreviewWindowTest::onlyAFrameThatDiffersIsRepainted() {
    QWidget view;
    view.resize(600, 200);
    CPreviewDlg dlg(&view);
    dlg.restart({}, {}, 16, {});
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    settle();
    PaintCounter counter;
    dlg.leds().installEventFilter(&counter);

    // The refresher offers the same frame every 5 ms: nothing to paint.
    offerFromAnotherThread(dlg, std::vector<PreviewFrame>(40, LedPanel::darkFrame(48, 12)));
    settle();
    QCOMPARE(counter.paints, 0);

    // Changes offered faster than the window takes them: one paint, the newest shown.
    PreviewFrame newest = oneLit();
    newest.lit[47] = true;
    offerFromAnotherThread(dlg, {oneLit(), oneLit(), newest, newest});
    settle();
    QCOMPARE(counter.paints, 1);
    QCOMPARE(dlg.leds().frame(), newest);

    offerFromAnotherThread(dlg, std::vector<PreviewFrame>(40, newest));
    settle();
    QCOMPARE(counter.paints, 1);
}

void PreviewWindowTest::theLeftButtonDragsTheWindowInsideTheView() {
    QWidget view;
    view.resize(600, 200);
    CPreviewDlg dlg(&view);
    dlg.restart({}, {}, 16, {});
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const QPoint start = dlg.pos();
    QCOMPARE(start.x(), (600 - dlg.width()) / 2);  // centred until moved

    auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent event(type, QPointF(at), dlg.mapToGlobal(QPointF(at)), button, held,
                          Qt::NoModifier);
        QApplication::sendEvent(&dlg, &event);
    };
    // On the LEDs, which leave the mouse to the window.
    const QPoint grip = dlg.leds().geometry().center();
    send(QEvent::MouseButtonPress, grip, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, grip + QPoint(-30, 10), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(dlg.pos(), start + QPoint(-30, 10));
    // Never out of the view.
    send(QEvent::MouseMove, grip + QPoint(-1000, -1000), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(dlg.pos(), QPoint(0, 0));
    send(QEvent::MouseButtonRelease, grip, Qt::LeftButton, Qt::NoButton);
    // Without the button nothing moves.
    send(QEvent::MouseMove, grip + QPoint(50, 0), Qt::NoButton, Qt::NoButton);
    QCOMPARE(dlg.pos(), QPoint(0, 0));
    // A new sign keeps the place the user chose.
    dlg.restart({}, {}, 16, {});
    QCOMPARE(dlg.pos(), QPoint(0, 0));
}

void PreviewWindowTest::theCaptionFollowsTheProgramsAsTheyStart() {
    const std::vector<uint8_t> image = fixtureImage("windows-faces");  // two programs
    QVERIFY(image.size() > 100);
    // On virtual time the programs come round at once.
    platform::VirtualClock clock;
    CPreviewDlg dlg(nullptr, &clock);
    QStringList captions;
    // A restart clears the caption until the first program starts.
    connect(&dlg, &QWidget::windowTitleChanged, this, [&](const QString& title) {
        if (!title.isEmpty()) captions << title;
    });
    dlg.restart(image, {}, 16, {u"Sale", u"Open"});
    QVERIFY(dlg.playing());
    QTRY_VERIFY(captions.contains(QStringLiteral("Open")));
    QCOMPARE(captions.first(), QStringLiteral("Sale"));
    QCOMPARE(dlg.caption(), captions.last());

    // What the old player said never shows under the new one's names.
    dlg.restart(image, {}, 16, {u"Front", u"Back"});
    captions.clear();
    QTRY_VERIFY(captions.contains(QStringLiteral("Back")));
    for (const QString& c : captions)
        QVERIFY2(c == QStringLiteral("Front") || c == QStringLiteral("Back"), qPrintable(c));
    dlg.restart({}, {}, 16, {});
    QVERIFY(!dlg.playing());
}

void PreviewWindowTest::aPlayableImageTakesItsSignsSizeAndLightsLeds() {
    CPreviewDlg dlg;
    const std::vector<uint8_t> small = fixtureImage("offsets-spacing");  // 36 × 11
    QVERIFY(small.size() > 100);
    dlg.restart(small, {}, 16, {u"A", u"B"});
    QVERIFY(dlg.playing());
    QCOMPARE(dlg.leds().size(), QSize(360, 110));
    QTRY_VERIFY(anyLit(dlg.leds().frame().lit));
    QCOMPARE(dlg.leds().frame().width, 36);

    dlg.restart(fixtureImage("windows-faces"), {}, 16, {u"A", u"B"});
    QCOMPARE(dlg.leds().size(), QSize(480, 120));
    QTRY_VERIFY(anyLit(dlg.leds().frame().lit));
}

// The sign window plays the last image it received with the engine; a test
// pattern stops it, and so does pulling the sign; plugged in again it plays.
void PreviewWindowTest::aVirtualSignPlaysWhatItReceivedUntilPulled() {
    platform::SteadyClock clock;
    SimulatedSign signs(clock, {{48, 12}});
    KeyTexts texts;
    CVirtualSignWindow window(signs, 0, texts);
    window.setPlayer(std::make_unique<VirtualSignPlayer>(window));

    SimulatedSign::Block image;
    image.kind = signlink::KIND_DEVICE_IMAGE;
    image.bytes = fixtureImage("windows-faces");
    window.blockReceived(image);
    QTRY_VERIFY(window.isPlaying());
    QTRY_VERIFY(anyLit(window.leds()));

    SimulatedSign::Block pattern;
    pattern.kind = signlink::KIND_TEST_PATTERN;
    pattern.bytes = {2};  // all lit
    window.blockReceived(pattern);
    QTRY_VERIFY(!window.isPlaying());
    settle();
    QVERIFY(std::all_of(window.leds().begin(), window.leds().end(), [](bool on) { return on; }));

    window.blockReceived(image);
    QTRY_VERIFY(window.isPlaying());
    signs.unplug(0);
    QTRY_VERIFY(!window.showsPresent());
    QVERIFY(!window.isPlaying());
    signs.plugIn(0);
    QTRY_VERIFY(window.showsPresent());
    QVERIFY(window.isPlaying());

    // An image for another size is not played.
    SimulatedSign::Block other;
    other.kind = signlink::KIND_DEVICE_IMAGE;
    other.bytes = fixtureImage("offsets-spacing");
    window.blockReceived(other);
    QTRY_VERIFY(!window.isPlaying());
}

QTEST_MAIN(PreviewWindowTest)
#include "PreviewWindowTest.moc"
