#include "content/CDlgProgram.h"
#include "content/ui/CDlgProgramWidget.h"
#include "platform/TextLookup.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QShortcut>
#include <QSpinBox>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <cstdint>
#include <limits>
#include <map>
#include <memory>

namespace {

// Captions that differ from their keys, so the panel is seen to look them up.
struct Texts : platform::TextLookup {
    std::map<std::u16string, std::u16string, std::less<>> strings{
        {u"Font", u"Typeface"},
        {u"Size", u"Height"},
        {u"Effect", u"Entry"},
        {u"Temperature", u"Temp."},
        {u"CheckAll", u"Select &All"},
        {u"Delete", u"&Delete"},
        {u"Paste", u"&Paste"},
        {u"Copy", u"&Copy"},
        {u"Cut", u"Cu&t"},
        {u"Undo", u"&Undo"},
        {u"Red", u"Red"},
        {u"Black", u"Black"},
    };
    std::u16string text(std::u16string_view key) const override {
        auto it = strings.find(key);
        return it == strings.end() ? std::u16string(key) : it->second;
    }
    std::map<std::u16string, std::vector<platform::TextListEntry>, std::less<>> lists;
    std::vector<platform::TextListEntry> list(std::u16string_view key) const override {
        auto it = lists.find(key);
        return it == lists.end() ? std::vector<platform::TextListEntry>{} : it->second;
    }
};

// Counts the key presses other than modifiers that get past the text box to the panel.
struct KeyCounter : QObject {
    int presses = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        // QTest presses the modifiers on their own; they are not what is tested.
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key != Qt::Key_Control && key != Qt::Key_Shift) ++presses;
        return false;
    }
};

// An editor for a 48 × 12 screen with a fresh program, and its panel on the screen.
struct Panel {
    Texts texts;
    CDlgProgram editor{CDlgProgram::Instance::Editor, texts};
    std::unique_ptr<CDlgProgramWidget> widget;
    int requests = 0;

    Panel() : Panel(std::initializer_list<SettingsMap::value_type>{}) {}
    Panel(std::initializer_list<SettingsMap::value_type> settings) {
        editor.setFontList({{u"Alpha", 0}, {u"Beta", 0}});
        editor.setPictures({PictureRecord{57, 16, 12, u"", 0}, PictureRecord{63, 8, 8, u"", 0}});
        editor.setPreviewRequest([this] { ++requests; });
        widget = std::make_unique<CDlgProgramWidget>(editor);
        load(SettingsMap(settings));
        widget->resize(760, 360);
        widget->show();
        widget->activateWindow();
        box()->setFocus();
    }

    void load(SettingsMap settings, int32_t autoAdjust = 0) {
        ProgramRecord program;
        program.name = u"Intro";
        program.AutoAdjust = autoAdjust;
        program.settings = std::move(settings);
        editor.setScreenSize(48, 12);
        editor.load(program);
    }

    template <typename T>
    T* find(const char* name) const {
        T* w = widget->findChild<T*>(QLatin1String(name));
        if (!w) qFatal("no control %s", name);
        return w;
    }
    QTextEdit* box() const { return find<QTextEdit>("text"); }
    QComboBox* combo(const char* name) const { return find<QComboBox>(name); }
    QCheckBox* check(const char* name) const { return find<QCheckBox>(name); }
    QSpinBox* spin(const char* name) const { return find<QSpinBox>(name); }

    // Opens the text box's menu as a right click would; the menu is left open.
    QMenu* openMenu() const {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10),
                                box()->viewport()->mapToGlobal(QPoint(10, 10)));
        QApplication::sendEvent(box()->viewport(), &event);
        return qobject_cast<QMenu*>(QApplication::activePopupWidget());
    }
};

QString entryTexts(const QMenu* menu) {
    QStringList texts;
    for (const QAction* a : menu->actions())
        if (!a->isSeparator()) texts << a->text() + (a->isEnabled() ? "" : "(off)");
    return texts.join(QLatin1Char('|'));
}

QAction* entry(const QMenu* menu, const QString& text) {
    for (QAction* a : menu->actions())
        if (a->text() == text) return a;
    return nullptr;
}

}  // namespace

class ProgramEditorTest : public QObject {
    Q_OBJECT
private slots:
    void typingReachesTheEditorWithCrLf();
    void loadedLinesShowAndStay();
    void temperatureCodesAndTheCheckBox();
    void pictureDoubleClickTypesItsCode();
    void pastedTextIsPlainWithSingleLineBreaks();
    void listsFollowBothWays();
    void captionsFollowTheLanguage();
    void formatOfTheTextBox();
    void autoAdjustLocksFontAndOffsets();
    void offsetsShowWhatTheEditorKept();
    void spacingTakesAnyNumberARecordHolds();
    void reservedKeysInTheTextBox();
    void contextMenuOffersItsSixCommands();
    void previewRequests();
};

void ProgramEditorTest::typingReachesTheEditorWithCrLf() {
    Panel panel;
    QVERIFY(QTest::qWaitForWindowActive(panel.widget.get()));
    QTextEdit* box = panel.box();

    QTest::keyClicks(box, QStringLiteral("ab"));
    QTest::keyClick(box, Qt::Key_Return);
    QTest::keyClicks(box, QStringLiteral("cd"));
    QCOMPARE(panel.editor.text(), std::u16string(u"ab\r\ncd"));
    QCOMPARE(panel.editor.caret(), 6);

    // Caret moves are counted in the editor's units: a line break is two.
    QTest::keyClick(box, Qt::Key_Home);
    QCOMPARE(panel.editor.caret(), 4);
    QTest::keyClick(box, Qt::Key_Left);
    QCOMPARE(panel.editor.caret(), 2);
    QTest::keyClicks(box, QStringLiteral("X"));
    QCOMPARE(panel.editor.text(), std::u16string(u"abX\r\ncd"));
    QCOMPARE(panel.editor.caret(), 3);

    QTest::keyClick(box, Qt::Key_Delete);  // joins the lines
    QCOMPARE(panel.editor.text(), std::u16string(u"abXcd"));
}

void ProgramEditorTest::loadedLinesShowAndStay() {
    Panel panel({{u"TextContent", u"Hi\r\nthere"}});
    QTextEdit* box = panel.box();
    QCOMPARE(box->toPlainText(), QStringLiteral("Hi\nthere"));
    QCOMPARE(box->document()->blockCount(), 2);
    QCOMPARE(box->textCursor().position(), 8);  // the editor's caret 9, at the end
    QCOMPARE(panel.editor.text(), std::u16string(u"Hi\r\nthere"));  // showing is not typing

    QTest::keyClicks(box, QStringLiteral("!"));
    QCOMPARE(panel.editor.text(), std::u16string(u"Hi\r\nthere!"));

    // A refresh with the same text leaves the box alone: its cursor and its undo.
    box->moveCursor(QTextCursor::Start);
    panel.editor.selectEffect(2);
    QCOMPARE(box->textCursor().position(), 0);
    QVERIFY(box->document()->isUndoAvailable());

    // Another program replaces the text, and the undo of the last one goes with it.
    panel.load({{u"TextContent", u"one\r\ntwo\r\nthree"}});
    QCOMPARE(box->toPlainText(), QStringLiteral("one\ntwo\nthree"));
    QCOMPARE(box->textCursor().position(), 13);
    QVERIFY(!box->document()->isUndoAvailable());

    // A lone CR is a line break in the box; it stays in the editor until the text is edited.
    panel.load({{u"TextContent", u"a\rb"}});
    QCOMPARE(box->toPlainText(), QStringLiteral("a\nb"));
    box->moveCursor(QTextCursor::Start);
    panel.editor.selectEffect(1);
    QCOMPARE(box->textCursor().position(), 0);
    QCOMPARE(panel.editor.text(), std::u16string(u"a\rb"));
}

void ProgramEditorTest::temperatureCodesAndTheCheckBox() {
    Panel panel;
    QVERIFY(QTest::qWaitForWindowActive(panel.widget.get()));
    QTextEdit* box = panel.box();
    QCheckBox* useTemp = panel.check("useTemp");
    QComboBox* unit = panel.combo("tempUnit");
    QCOMPARE(useTemp->text(), QStringLiteral("Temp."));
    QVERIFY(!useTemp->isChecked());
    QVERIFY(!unit->isEnabled());

    // Lower case is an animation code, not a temperature.
    QTest::keyClicks(box, QStringLiteral("[fe]"));
    QVERIFY(!useTemp->isChecked());
    box->clear();

    QTest::keyClicks(box, QStringLiteral("ab"));
    QTest::keyClick(box, Qt::Key_Return);
    QTest::keyClicks(box, QStringLiteral("cd[FF]"));
    QVERIFY(useTemp->isChecked());
    QVERIFY(unit->isEnabled());
    QCOMPARE(unit->currentText(), QString::fromUtf16(u"\u00B0F"));
    QTest::keyClicks(box, QStringLiteral("[FE]"));
    QCOMPARE(unit->currentIndex(), 0);  // Celsius wins
    QCOMPARE(unit->currentText(), QString::fromUtf16(u"\u00B0C"));

    // Unticking takes every token out of the text in the box.
    QTest::mouseClick(useTemp, Qt::LeftButton);
    QCOMPARE(box->toPlainText(), QStringLiteral("ab\ncd"));
    QCOMPARE(panel.editor.text(), std::u16string(u"ab\r\ncd"));
    QVERIFY(!unit->isEnabled());

    // Ticking puts the token at the caret, and the box's cursor goes behind it.
    box->moveCursor(QTextCursor::End);
    QTest::keyClick(box, Qt::Key_Left);
    useTemp->click();
    QCOMPARE(panel.editor.text(), std::u16string(u"ab\r\nc[FE]d"));
    QCOMPARE(box->toPlainText(), QStringLiteral("ab\nc[FE]d"));
    QCOMPARE(box->textCursor().position(), 8);

    // A change of unit replaces the token.
    unit->setCurrentIndex(1);
    QCOMPARE(box->toPlainText(), QStringLiteral("ab\nc[FF]d"));
}

void ProgramEditorTest::pictureDoubleClickTypesItsCode() {
    Panel panel;
    QVERIFY(QTest::qWaitForWindowActive(panel.widget.get()));
    QTextEdit* box = panel.box();
    auto* pictures = panel.find<QListWidget>("pictures");
    QCOMPARE(pictures->count(), 2);
    QCOMPARE(pictures->item(1)->text(), QStringLiteral("IMG63"));

    QTest::keyClicks(box, QStringLiteral("ab"));
    QTest::keyClick(box, Qt::Key_Left);
    const QRect item = pictures->visualItemRect(pictures->item(1));
    // As a mouse does it: a click, then the second press arrives as a double-click.
    QTest::mouseClick(pictures->viewport(), Qt::LeftButton, {}, item.center());
    QTest::mouseDClick(pictures->viewport(), Qt::LeftButton, {}, item.center());
    QCOMPARE(panel.editor.text(), std::u16string(u"a[63]b"));
    QCOMPARE(box->toPlainText(), QStringLiteral("a[63]b"));
    QCOMPARE(panel.editor.caret(), 5);
    QVERIFY(box->hasFocus());  // typing goes on in the text

    QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(panel.editor.text(), std::u16string(u"ab"));
    QCOMPARE(box->toPlainText(), QStringLiteral("ab"));

    // Through the editor, the code goes where the caret is, as typed.
    box->moveCursor(QTextCursor::Start);
    panel.editor.insertPicture(0);
    QCOMPARE(panel.editor.text(), std::u16string(u"[57]ab"));
    QCOMPARE(box->textCursor().position(), 4);
}

void ProgramEditorTest::pastedTextIsPlainWithSingleLineBreaks() {
    Panel panel;
    QTextEdit* box = panel.box();
    auto* mime = new QMimeData;
    mime->setHtml(QStringLiteral("<b>one</b><br>two"));
    mime->setText(QStringLiteral("one\r\ntwo"));
    QApplication::clipboard()->setMimeData(mime);
    box->paste();

    QCOMPARE(panel.editor.text(), std::u16string(u"one\r\ntwo"));
    QCOMPARE(box->document()->blockCount(), 2);
    QTextCursor cursor(box->document());
    cursor.setPosition(1);
    QVERIFY(cursor.charFormat().fontWeight() != QFont::Bold);
    QVERIFY(!cursor.charFormat().hasProperty(QTextFormat::FontWeight));
}

void ProgramEditorTest::listsFollowBothWays() {
    Panel panel({{u"Effect", u"12"}, {u"Border", u"2"}, {u"Font", u"Beta"}, {u"Speed", u"0"}});
    QComboBox* effect = panel.combo("effect");
    QComboBox* border = panel.combo("border");
    QCOMPARE(effect->count(), 12);
    QCOMPARE(border->count(), 15);
    QCOMPARE(effect->currentIndex(), -1);  // out of range: no entry shows
    QCOMPARE(border->currentIndex(), 2);
    QCOMPARE(panel.combo("font")->currentText(), QStringLiteral("Beta"));
    QCOMPARE(panel.combo("speed")->currentText(), QStringLiteral(" 1"));

    effect->setCurrentIndex(3);
    QCOMPARE(panel.editor.effects().selection, 3);
    QCOMPARE(panel.editor.fontSizePixels(), 8);  // no size stored: the first entry
    panel.combo("fontSize")->setCurrentIndex(4);
    QCOMPARE(panel.editor.fontSizePixels(), 12);
    panel.combo("backgroundColor")->setCurrentIndex(0);
    QCOMPARE(panel.editor.backgroundColors().value(), 0x0000FF);
    panel.find<QToolButton>("italic")->click();
    QVERIFY(panel.editor.italic());
    panel.check("flicker")->click();
    QVERIFY(panel.editor.flicker());

    panel.editor.selectBorder(14);
    QCOMPARE(border->currentIndex(), 14);
    panel.editor.selectStopTime(21);
    QCOMPARE(panel.combo("stopTime")->currentText(), QStringLiteral("255"));
    panel.editor.setUnderline(true);
    QVERIFY(panel.find<QToolButton>("underline")->isChecked());

    // A new font list keeps the chosen face where it is now.
    panel.editor.setFontList({{u"Gamma", 0}, {u"Beta", 0}, {u"Alpha", 0}});
    QCOMPARE(panel.combo("font")->count(), 3);
    QCOMPARE(panel.combo("font")->currentText(), QStringLiteral("Beta"));

    // The colour entries carry their names and a swatch.
    QComboBox* color = panel.combo("textColor");
    QCOMPARE(color->count(), 2);
    QCOMPARE(color->itemText(0), QStringLiteral("Red"));
    QVERIFY(!color->itemIcon(0).isNull());
}

void ProgramEditorTest::captionsFollowTheLanguage() {
    Panel panel({{u"Effect", u"3"}, {u"Color1", u"255"}});
    QComboBox* effect = panel.combo("effect");
    QCOMPARE(effect->itemText(3), QString::fromUtf16(u"3\uFF1A\u5DE6\u79FB"));  // built in

    panel.texts.strings[u"Temperature"] = u"\u6E29\u5EA6";
    panel.texts.strings[u"Red"] = u"Rot";
    for (int i = 11; i >= 0; --i)  // any order: the numbers decide
        panel.texts.lists[u"effects"].push_back(
            {u"E" + QString::number(i).toStdU16String(), QString::number(i).toStdU16String()});
    panel.editor.applyTexts();

    QCOMPARE(panel.check("useTemp")->text(), QString::fromUtf16(u"\u6E29\u5EA6"));
    QCOMPARE(effect->count(), 12);
    QCOMPARE(effect->itemText(0), QStringLiteral("E0"));
    QCOMPARE(effect->currentText(), QStringLiteral("E3"));  // the selection stays
    QCOMPARE(panel.combo("textColor")->currentText(), QStringLiteral("Rot"));
}

void ProgramEditorTest::formatOfTheTextBox() {
    Panel panel({{u"TextContent", u"Hi"},
                 {u"FontSize", u"12"},
                 {u"Font", u"Alpha"},
                 {u"Color1", u"255"},
                 {u"Color2", u"0"}});
    QTextEdit* box = panel.box();
    QCOMPARE(box->font().pixelSize(), 36);  // three times the sign's height
    QCOMPARE(box->font().family(), QStringLiteral("Alpha"));
    QCOMPARE(box->palette().color(QPalette::Text), QColor(255, 0, 0));
    QCOMPARE(box->palette().color(QPalette::Base), QColor(0, 0, 0));

    panel.find<QToolButton>("bold")->click();
    QVERIFY(box->font().bold());
    panel.combo("fontSize")->setCurrentText(QStringLiteral("20"));
    QCOMPARE(box->font().pixelSize(), 60);
    panel.combo("textColor")->setCurrentIndex(1);
    QCOMPARE(box->palette().color(QPalette::Text), QColor(0, 0, 0));
    // A format change is not an edit of the text.
    QCOMPARE(panel.editor.text(), std::u16string(u"Hi"));
    QVERIFY(!box->document()->isUndoAvailable());
}

void ProgramEditorTest::autoAdjustLocksFontAndOffsets() {
    Panel panel;
    QCheckBox* autoAdjust = panel.check("autoAdjust");
    QWidget* locked[] = {panel.combo("font"), panel.combo("fontSize"), panel.spin("offsetX"),
                         panel.spin("offsetY")};
    for (QWidget* w : locked)
        QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));

    autoAdjust->click();
    QVERIFY(panel.editor.autoAdjust());
    for (QWidget* w : locked)
        QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
    QVERIFY(panel.spin("pitchOffset")->isEnabled());
    QVERIFY(panel.combo("effect")->isEnabled());

    autoAdjust->click();
    for (QWidget* w : locked)
        QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));

    // A program stored with it set comes in locked.
    panel.load({{u"TextContent", u"x"}}, 1);
    QVERIFY(autoAdjust->isChecked());
    for (QWidget* w : locked)
        QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
}

void ProgramEditorTest::offsetsShowWhatTheEditorKept() {
    Panel panel;
    QSpinBox* x = panel.spin("offsetX");
    QSpinBox* y = panel.spin("offsetY");

    x->setValue(100);
    QCOMPARE(panel.editor.offsetX(), 48);
    QCOMPARE(x->value(), 48);
    x->stepBy(-1);
    QCOMPARE(panel.editor.offsetX(), 47);
    y->setValue(-30);
    QCOMPARE(y->value(), -12);

    // Typed, the value is clamped at once as well.
    y->setFocus();
    y->selectAll();
    QTest::keyClicks(y, QStringLiteral("99"));
    QCOMPARE(panel.editor.offsetY(), 12);
    QCOMPARE(y->value(), 12);

    panel.spin("pitchOffset")->setValue(-3);
    QCOMPARE(panel.editor.pitchOffset(), -3);
    panel.editor.setOffsetX(-5);
    QCOMPARE(x->value(), -5);
}

void ProgramEditorTest::spacingTakesAnyNumberARecordHolds() {
    Panel panel;
    QSpinBox* pitch = panel.spin("pitchOffset");
    pitch->setValue(123456);
    QCOMPARE(panel.editor.pitchOffset(), 123456);
    pitch->setValue(std::numeric_limits<int32_t>::max());
    QCOMPARE(panel.editor.pitchOffset(), std::numeric_limits<int32_t>::max());
    pitch->stepBy(1);  // stays at the end rather than wrapping round
    QCOMPARE(panel.editor.pitchOffset(), std::numeric_limits<int32_t>::max());

    pitch->setFocus();
    pitch->selectAll();
    QTest::keyClicks(pitch, QStringLiteral("-2147483648"));
    QCOMPARE(panel.editor.pitchOffset(), std::numeric_limits<int32_t>::min());
    pitch->stepBy(-1);
    QCOMPARE(panel.editor.pitchOffset(), std::numeric_limits<int32_t>::min());
    pitch->stepBy(1);
    QCOMPARE(panel.editor.pitchOffset(), std::numeric_limits<int32_t>::min() + 1);

    // What a program brings shows as it is.
    panel.editor.setPitchOffset(-50000);
    QCOMPARE(pitch->value(), -50000);
    // The offsets stay bound to the screen.
    panel.spin("offsetX")->setValue(5000);
    QCOMPARE(panel.editor.offsetX(), 48);
}

void ProgramEditorTest::reservedKeysInTheTextBox() {
    Panel panel({{u"TextContent", u"keep"}});
    QVERIFY(QTest::qWaitForWindowActive(panel.widget.get()));
    QTextEdit* box = panel.box();
    KeyCounter reached;
    panel.widget->installEventFilter(&reached);
    int shortcuts = 0;
    auto* f12 = new QShortcut(QKeySequence(Qt::Key_F12), panel.widget.get());
    QObject::connect(f12, &QShortcut::activated, [&] { ++shortcuts; });

    QTest::keyClick(box, Qt::Key_Escape);
    QTest::keyClick(box, Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier);
    QCOMPARE(box->toPlainText(), QStringLiteral("keep"));
    QCOMPARE(panel.editor.text(), std::u16string(u"keep"));
    QCOMPARE(reached.presses, 0);

    // Without a callback, F12 is left to the window.
    QTest::keyClick(box, Qt::Key_F12);
    QCOMPARE(shortcuts, 1);

    int tests = 0;
    panel.widget->onTestDialog = [&] { ++tests; };
    QTest::keyClick(box, Qt::Key_F12);
    QCOMPARE(tests, 1);
    QCOMPARE(shortcuts, 1);
    QCOMPARE(reached.presses, 0);

    // A plain Enter is a line break as usual.
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(panel.editor.text(), std::u16string(u"keep\r\n"));
}

void ProgramEditorTest::contextMenuOffersItsSixCommands() {
    Panel panel({{u"TextContent", u"Hello"}});
    QVERIFY(QTest::qWaitForWindowActive(panel.widget.get()));
    QTextEdit* box = panel.box();
    QApplication::clipboard()->clear();

    QMenu* menu = panel.openMenu();
    QVERIFY(menu);
    QCOMPARE(entryTexts(menu), QStringLiteral("&Undo(off)|Cu&t(off)|&Copy(off)|&Paste(off)|"
                                              "&Delete(off)|Select &All"));
    entry(menu, QStringLiteral("Select &All"))->trigger();
    menu->close();
    QVERIFY(box->textCursor().hasSelection());

    menu = panel.openMenu();
    QCOMPARE(entryTexts(menu),
             QStringLiteral("&Undo(off)|Cu&t|&Copy|&Paste(off)|&Delete|Select &All"));
    entry(menu, QStringLiteral("&Copy"))->trigger();
    menu->close();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("Hello"));

    menu = panel.openMenu();
    entry(menu, QStringLiteral("&Delete"))->trigger();
    menu->close();
    QCOMPARE(panel.editor.text(), std::u16string());

    menu = panel.openMenu();
    QCOMPARE(entryTexts(menu),
             QStringLiteral("&Undo|Cu&t(off)|&Copy(off)|&Paste|&Delete(off)|Select &All(off)"));
    entry(menu, QStringLiteral("&Paste"))->trigger();
    menu->close();
    QCOMPARE(panel.editor.text(), std::u16string(u"Hello"));

    menu = panel.openMenu();
    entry(menu, QStringLiteral("&Undo"))->trigger();
    menu->close();
    QCOMPARE(panel.editor.text(), std::u16string());
}

void ProgramEditorTest::previewRequests() {
    Panel panel;
    QVERIFY(QTest::qWaitForWindowActive(panel.widget.get()));
    QTextEdit* box = panel.box();
    QCOMPARE(panel.requests, 0);  // loading asks for nothing

    panel.combo("effect")->setCurrentIndex(3);
    QTRY_COMPARE(panel.requests, 1);
    panel.check("flicker")->click();
    QTRY_COMPARE(panel.requests, 2);

    // Typing asks once it pauses.
    QTest::keyClicks(box, QStringLiteral("ab"));
    QTRY_COMPARE(panel.requests, 3);

    // A key pressed in the box after the last change means the user is still
    // typing: the refresh waits another 500 ms, and comes when the keys stop.
    QTest::keyClicks(box, QStringLiteral("c"));
    auto* typing = panel.widget->findChild<QTimer*>(QStringLiteral("timer10087"));
    QVERIFY(typing && typing->isActive());
    QTest::keyClick(box, Qt::Key_Left);
    QCOMPARE(panel.requests, 3);
    QTRY_COMPARE(panel.requests, 4);
    QVERIFY(!typing->isActive());

    // Keys elsewhere do not count.
    QTest::keyClicks(box, QStringLiteral("d"));
    QCheckBox* flicker = panel.check("flicker");
    flicker->setFocus();
    QTest::keyClick(flicker, Qt::Key_Shift);
    QTRY_COMPARE(panel.requests, 5);
    QVERIFY(!typing->isActive());
}

QTEST_MAIN(ProgramEditorTest)
#include "ProgramEditorTest.moc"
