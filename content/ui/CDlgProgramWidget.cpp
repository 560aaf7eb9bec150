#include "content/ui/CDlgProgramWidget.h"

#include "platform/qt/QtBitmap.h"
#include "platform/qt/QtText.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>
#include <QSpinBox>
#include <QStyle>
#include <QTextCursor>
#include <QTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

namespace {

using platform::toQString;

QColor qColor(platform::ColorRef c) {
    return QColor(platform::redOf(c), platform::greenOf(c), platform::blueOf(c));
}

// The editor keeps CR LF; the box shows plain lines (a lone CR is a line break there too).
QString toBox(const std::u16string& text) {
    QString out = toQString(text);
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return out;
}

std::u16string toEditor(QString text) {
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text.toStdU16String();
}

// The box's text as lines joined by "\n", with nothing else changed (no-break spaces stay).
QString boxText(const QTextEdit* box) {
    QString text = box->document()->toRawText();
    for (QChar& c : text)
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator) c = QLatin1Char('\n');
    return text;
}

bool isCrLf(const std::u16string& text, size_t i) {
    return text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n';
}

// A box position in the editor's text, where a CR LF is one position of the box.
int editorCaret(const std::u16string& text, int boxPos) {
    size_t i = 0;
    for (int b = 0; b < boxPos && i < text.size(); ++b)
        i += isCrLf(text, i) ? 2 : 1;
    return static_cast<int>(i);
}

// The reverse; a caret between CR and LF goes behind the line break.
int boxCaret(const std::u16string& text, int caret) {
    int b = 0;
    for (size_t i = 0; i < text.size() && static_cast<int>(i) < caret; ++b)
        i += isCrLf(text, i) ? 2 : 1;
    return b;
}

// An icon for a text colour: a letter over a bar of the colour.
QIcon textColorIcon(const QColor& color, const QPalette& palette) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    QFont font = QApplication::font();
    font.setBold(true);
    font.setPixelSize(11);
    painter.setFont(font);
    painter.setPen(palette.color(QPalette::WindowText));
    painter.drawText(QRect(0, -1, 16, 12), Qt::AlignCenter, QStringLiteral("A"));
    painter.fillRect(QRect(1, 12, 14, 4), color);
    painter.setPen(palette.color(QPalette::Mid));
    painter.drawRect(QRect(1, 12, 13, 3));
    return QIcon(pixmap);
}

// An icon for a background colour: a filled swatch.
QIcon backgroundColorIcon(const QColor& color, const QPalette& palette) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(palette.color(QPalette::Mid));
    painter.setBrush(color);
    painter.drawRect(QRect(1, 2, 13, 12));
    return QIcon(pixmap);
}

// An image centred in a square, so the codes beside narrow and wide pictures line up.
void drawCentred(QPainter& painter, const QImage& image, const QRect& square,
                 Qt::TransformationMode mode) {
    const QImage scaled = image.width() <= square.width() && image.height() <= square.height()
                              ? image
                              : image.scaled(square.size(), Qt::KeepAspectRatio, mode);
    painter.drawImage(square.x() + (square.width() - scaled.width()) / 2,
                      square.y() + (square.height() - scaled.height()) / 2, scaled);
}

QIcon thumbnail(const QString& file, const QSize& size) {
    QImage image(file);
    if (image.isNull()) return {};
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    drawCentred(painter, image, QRect(QPoint(), size), Qt::SmoothTransformation);
    return QIcon(pixmap);
}

// A picture in its colours and, beside them, as the red sign lights it: a
// green picture, say, stays dark there.
QIcon pictureThumbnail(const QString& file, const QSize& size) {
    QImage image(file);
    if (image.isNull()) return {};
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    const int side = size.height();
    drawCentred(painter, image, QRect(0, 0, side, side), Qt::SmoothTransformation);
    drawCentred(painter, platform::signLook(image, 1), QRect(size.width() - side, 0, side, side),
                Qt::FastTransformation);
    return QIcon(pixmap);
}

// The program's text box: plain text only, with the keys the editor reserves.
class ProgramTextBox : public QTextEdit {
public:
    ProgramTextBox(std::function<void()>& f12, std::function<QMenu*(QWidget*)> menu,
                   QWidget* parent)
        : QTextEdit(parent), m_f12(f12), m_menu(std::move(menu)) {}

protected:
    bool event(QEvent* event) override {
        // Take these keys before any shortcut of the window sees them.
        if (event->type() == QEvent::ShortcutOverride &&
            reserved(*static_cast<QKeyEvent*>(event))) {
            event->accept();
            return true;
        }
        return QTextEdit::event(event);
    }

    void keyPressEvent(QKeyEvent* event) override {
        if (isTestKey(*event) && m_f12) {
            event->accept();
            m_f12();
            return;
        }
        if (isSwallowed(*event)) {
            event->accept();
            return;
        }
        QTextEdit::keyPressEvent(event);
    }

    void contextMenuEvent(QContextMenuEvent* event) override {
        QMenu* menu = m_menu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(event->globalPos());
        event->accept();
    }

    // Only the plain text of what is pasted or dropped: one format holds for the whole program.
    void insertFromMimeData(const QMimeData* source) override {
        if (!source->hasText()) return;
        textCursor().insertText(source->text());
        ensureCursorVisible();
    }

private:
    static bool isSwallowed(const QKeyEvent& key) {
        if (key.key() == Qt::Key_Escape) return true;
        const bool enter = key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter;
        return enter && key.modifiers().testFlag(Qt::ControlModifier);
    }
    static bool isTestKey(const QKeyEvent& key) {
        return key.key() == Qt::Key_F12 && (key.modifiers() & ~Qt::KeypadModifier) == 0;
    }
    bool reserved(const QKeyEvent& key) const {
        return isSwallowed(key) || (isTestKey(key) && m_f12);
    }

    std::function<void()>& m_f12;
    std::function<QMenu*(QWidget*)> m_menu;
};

QComboBox* makeCombo(QWidget* parent, int minimumChars) {
    auto* combo = new QComboBox(parent);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(minimumChars);
    return combo;
}

QToolButton* makeStyleButton(QWidget* parent, const QString& letter, void (QFont::*style)(bool)) {
    auto* button = new QToolButton(parent);
    button->setText(letter);
    button->setCheckable(true);
    button->setFocusPolicy(Qt::TabFocus);
    QFont font = button->font();
    (font.*style)(true);
    button->setFont(font);
    return button;
}

QGridLayout* groupGrid(QGroupBox* group) {
    auto* grid = new QGridLayout(group);
    grid->setContentsMargins(8, 6, 8, 8);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(6);
    return grid;
}

QSpinBox* makeSpin(QWidget* parent) {
    auto* spin = new QSpinBox(parent);
    // The editor clamps the offsets to the screen; the box only has to hold what it may say.
    spin->setRange(-10000, 10000);
    spin->setAlignment(Qt::AlignRight);
    // Sized for the values a sign's width allows, not for the whole range.
    spin->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    spin->setMinimumWidth(spin->fontMetrics().horizontalAdvance(QStringLiteral("-0000")) + 28);
    return spin;
}

}  // namespace

CDlgProgramWidget::CDlgProgramWidget(CDlgProgram& editor, QWidget* parent)
    : QWidget(parent), m_editor(editor) {
    buildLayout();
    connectControls();
    // Stands in for a keyboard hook: key presses count only while the text box has the focus.
    qApp->installEventFilter(this);
    m_editor.setView(this);
    refresh();
}

CDlgProgramWidget::~CDlgProgramWidget() {
    qApp->removeEventFilter(this);
    m_timers.stopAll();
    m_editor.setView(nullptr);
    // The controls go after this body; nothing they report on the way reaches the editor.
    m_filling = true;
}

// --- building ------------------------------------------------------------------------------

void CDlgProgramWidget::buildLayout() {
    auto* text = new ProgramTextBox(
        onTestDialog, [this](QWidget* parent) { return createContextMenu(parent); }, this);
    m_text = text;
    m_text->setAcceptRichText(false);
    m_text->setTabChangesFocus(true);
    m_text->setMinimumHeight(72);
    m_text->document()->setDocumentMargin(6);

    // The libraries: a double-click puts the item's code into the text.
    auto makeList = [this](QLabel*& label, QListWidget*& list) {
        label = new QLabel(this);
        list = new QListWidget(this);
        list->setUniformItemSizes(true);
        list->setIconSize(QSize(16, 16));
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        // A long name ends in "…" and its full path shows as the tooltip.
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        list->setTextElideMode(Qt::ElideRight);
        // The lists take the height of their row; the text box and the groups decide it.
        // Room for a code, two pictures and a short name such as "00  fireworks".
        list->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("00  fireworks")) + 64);
        list->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Ignored);
        list->setMinimumHeight(48);
        label->setBuddy(list);
        auto* column = new QVBoxLayout;
        column->setSpacing(3);
        column->addWidget(label);
        column->addWidget(list, 1);
        return column;
    };

    auto* groups = new QHBoxLayout;
    groups->setSpacing(4);
    // Room to spare goes to the font group, whose names are the longest.
    groups->addWidget(buildFontGroup(), 1);
    groups->addWidget(buildEffectGroup());
    groups->addWidget(buildBorderGroup());

    // The lists line up with the text box and with the group titles.
    auto* root = new QGridLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setHorizontalSpacing(8);
    root->setVerticalSpacing(8);
    root->addWidget(m_text, 0, 0);
    root->addLayout(makeList(m_animationLabel, m_animations), 0, 1);
    root->addLayout(groups, 1, 0);
    root->addLayout(makeList(m_pictureLabel, m_pictures), 1, 1);
    // Each picture twice: its colours and the sign's look.
    m_pictures->setIconSize(QSize(34, 16));
    root->setRowStretch(0, 1);
    root->setColumnStretch(0, 1);

    // Names for style sheets and tests.
    const std::pair<QWidget*, const char*> names[] = {
        {m_text, "text"},
        {m_font, "font"},
        {m_size, "fontSize"},
        {m_bold, "bold"},
        {m_italic, "italic"},
        {m_underline, "underline"},
        {m_textColor, "textColor"},
        {m_backgroundColor, "backgroundColor"},
        {m_offsetX, "offsetX"},
        {m_offsetY, "offsetY"},
        {m_pitch, "pitchOffset"},
        {m_autoAdjust, "autoAdjust"},
        {m_effect, "effect"},
        {m_speed, "speed"},
        {m_stopTime, "stopTime"},
        {m_flicker, "flicker"},
        {m_border, "border"},
        {m_borderSpeed, "borderSpeed"},
        {m_useTemp, "useTemp"},
        {m_tempUnit, "tempUnit"},
        {m_animations, "animations"},
        {m_pictures, "pictures"},
    };
    for (const auto& [widget, name] : names)
        widget->setObjectName(QLatin1String(name));
}

// Face and size, style and colours, placement, spacing and the automatic fit.
QGroupBox* CDlgProgramWidget::buildFontGroup() {
    m_fontGroup = new QGroupBox(this);
    // Wide enough for most face names whole; the open list shows every one whole.
    m_font = makeCombo(m_fontGroup, 16);
    m_sizeLabel = new QLabel(m_fontGroup);
    m_size = makeCombo(m_fontGroup, 2);
    m_sizeLabel->setBuddy(m_size);
    m_bold = makeStyleButton(m_fontGroup, QStringLiteral("B"), &QFont::setBold);
    m_italic = makeStyleButton(m_fontGroup, QStringLiteral("I"), &QFont::setItalic);
    m_underline = makeStyleButton(m_fontGroup, QStringLiteral("U"), &QFont::setUnderline);
    // The style buttons are as tall as the combos beside them.
    const int buttonSize = m_size->sizeHint().height();
    for (QToolButton* b : {m_bold, m_italic, m_underline})
        b->setFixedSize(buttonSize, buttonSize);
    // The colour names in full, in every language ("Schwarz").
    m_textColor = makeCombo(m_fontGroup, 4);
    m_backgroundColor = makeCombo(m_fontGroup, 4);
    for (QComboBox* colours : {m_textColor, m_backgroundColor})
        colours->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_offsetX = makeSpin(m_fontGroup);
    m_offsetY = makeSpin(m_fontGroup);
    m_pitchLabel = new QLabel(m_fontGroup);
    m_pitch = makeSpin(m_fontGroup);
    // Spacing is not bound to the screen: the box takes any number the record holds.
    m_pitch->setRange(std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
    m_pitchLabel->setBuddy(m_pitch);
    m_autoAdjust = new QCheckBox(m_fontGroup);

    auto* grid = groupGrid(m_fontGroup);
    grid->addWidget(m_font, 0, 0);
    grid->addWidget(m_sizeLabel, 0, 1);
    grid->addWidget(m_size, 0, 2);

    auto* styles = new QHBoxLayout;
    styles->setSpacing(2);
    styles->addWidget(m_bold);
    styles->addWidget(m_italic);
    styles->addWidget(m_underline);
    styles->addSpacing(6);
    styles->addWidget(m_textColor, 1);
    styles->addWidget(m_backgroundColor, 1);
    grid->addLayout(styles, 1, 0, 1, 3);

    auto* offsets = new QHBoxLayout;
    offsets->setSpacing(6);
    for (auto [label, spin] :
         {std::pair{QStringLiteral("X"), m_offsetX}, std::pair{QStringLiteral("Y"), m_offsetY}}) {
        auto* name = new QLabel(label, m_fontGroup);
        name->setBuddy(spin);
        if (offsets->count() > 0) offsets->addSpacing(8);
        offsets->addWidget(name);
        offsets->addWidget(spin, 1);
    }
    offsets->addStretch(1);
    grid->addLayout(offsets, 2, 0, 1, 3);

    auto* pitch = new QHBoxLayout;
    pitch->setSpacing(6);
    pitch->addWidget(m_pitchLabel);
    pitch->addWidget(m_pitch);
    pitch->addStretch(1);
    grid->addLayout(pitch, 3, 0, 1, 3);
    grid->addWidget(m_autoAdjust, 4, 0, 1, 3);
    grid->setColumnStretch(0, 1);
    grid->setRowStretch(5, 1);
    return m_fontGroup;
}

// How the program comes in and how long it stays.
QGroupBox* CDlgProgramWidget::buildEffectGroup() {
    m_effectGroup = new QGroupBox(this);
    m_effect = makeCombo(m_effectGroup, 9);
    m_speedLabel = new QLabel(m_effectGroup);
    m_speed = makeCombo(m_effectGroup, 2);
    m_speedLabel->setBuddy(m_speed);
    m_stopTimeLabel = new QLabel(m_effectGroup);
    m_stopTime = makeCombo(m_effectGroup, 3);
    m_stopTimeLabel->setBuddy(m_stopTime);
    m_flicker = new QCheckBox(m_effectGroup);

    auto* grid = groupGrid(m_effectGroup);
    grid->addWidget(m_effect, 0, 0, 1, 2);
    grid->addWidget(m_speedLabel, 1, 0);
    grid->addWidget(m_speed, 1, 1);
    grid->addWidget(m_stopTimeLabel, 2, 0);
    grid->addWidget(m_stopTime, 2, 1);
    grid->addWidget(m_flicker, 3, 0, 1, 2);
    grid->setRowStretch(4, 1);
    return m_effectGroup;
}

// The border, and below a rule the temperature read-out, which is not text either.
QGroupBox* CDlgProgramWidget::buildBorderGroup() {
    m_borderGroup = new QGroupBox(this);
    m_border = makeCombo(m_borderGroup, 9);
    m_borderSpeedLabel = new QLabel(m_borderGroup);
    m_borderSpeed = makeCombo(m_borderGroup, 2);
    m_borderSpeedLabel->setBuddy(m_borderSpeed);
    m_useTemp = new QCheckBox(m_borderGroup);
    m_tempUnit = makeCombo(m_borderGroup, 2);
    auto* rule = new QFrame(m_borderGroup);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);

    auto* grid = groupGrid(m_borderGroup);
    grid->addWidget(m_border, 0, 0, 1, 2);
    grid->addWidget(m_borderSpeedLabel, 1, 0);
    grid->addWidget(m_borderSpeed, 1, 1);
    grid->addWidget(rule, 2, 0, 1, 2);
    grid->addWidget(m_useTemp, 3, 0);
    grid->addWidget(m_tempUnit, 3, 1);
    grid->setRowStretch(4, 1);
    return m_borderGroup;
}

void CDlgProgramWidget::connectControls() {
    // Every change goes to the editor, which may decide otherwise; the refresh shows what it kept.
    auto forward = [this](auto* sender, auto signal, auto apply) {
        connect(sender, signal, this, [this, apply](auto value) {
            if (m_filling) return;
            apply(value);
            refresh();
        });
    };
    CDlgProgram* e = &m_editor;
    forward(m_font, &QComboBox::currentIndexChanged, [e](int i) { e->selectFont(i); });
    connect(m_font, &QComboBox::currentTextChanged, m_font, &QWidget::setToolTip);
    forward(m_size, &QComboBox::currentIndexChanged, [e](int i) { e->selectFontSize(i); });
    forward(m_textColor, &QComboBox::currentIndexChanged, [e](int i) { e->selectTextColor(i); });
    forward(m_backgroundColor, &QComboBox::currentIndexChanged,
            [e](int i) { e->selectBackgroundColor(i); });
    forward(m_effect, &QComboBox::currentIndexChanged, [e](int i) { e->selectEffect(i); });
    forward(m_speed, &QComboBox::currentIndexChanged, [e](int i) { e->selectSpeed(i); });
    forward(m_stopTime, &QComboBox::currentIndexChanged, [e](int i) { e->selectStopTime(i); });
    forward(m_border, &QComboBox::currentIndexChanged, [e](int i) { e->selectBorder(i); });
    forward(m_borderSpeed, &QComboBox::currentIndexChanged,
            [e](int i) { e->selectBorderSpeed(i); });
    forward(m_tempUnit, &QComboBox::currentIndexChanged, [e](int i) { e->selectTempUnit(i); });

    forward(m_bold, &QAbstractButton::toggled, [e](bool on) { e->setBold(on); });
    forward(m_italic, &QAbstractButton::toggled, [e](bool on) { e->setItalic(on); });
    forward(m_underline, &QAbstractButton::toggled, [e](bool on) { e->setUnderline(on); });
    forward(m_flicker, &QAbstractButton::toggled, [e](bool on) { e->setFlicker(on); });
    forward(m_useTemp, &QAbstractButton::toggled, [e](bool on) { e->setUseTemp(on); });
    forward(m_autoAdjust, &QAbstractButton::toggled, [e](bool on) { e->setAutoAdjust(on); });

    forward(m_offsetX, &QSpinBox::valueChanged, [e](int v) { e->setOffsetX(v); });
    forward(m_offsetY, &QSpinBox::valueChanged, [e](int v) { e->setOffsetY(v); });
    forward(m_pitch, &QSpinBox::valueChanged, [e](int v) { e->setPitchOffset(v); });

    connect(m_text, &QTextEdit::textChanged, this, &CDlgProgramWidget::onBoxTextChanged);
    connect(m_text, &QTextEdit::cursorPositionChanged, this, &CDlgProgramWidget::onBoxCaretMoved);

    connect(m_animations, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        m_editor.insertAnimation(m_animations->row(item));
        m_text->setFocus(Qt::OtherFocusReason);
    });
    connect(m_pictures, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        m_editor.insertPicture(m_pictures->row(item));
        m_text->setFocus(Qt::OtherFocusReason);
    });
}

QMenu* CDlgProgramWidget::createContextMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    const QTextCursor cursor = m_text->textCursor();
    const bool selection = cursor.hasSelection();
    auto add = [&](std::u16string_view key, bool enabled, auto&& run) {
        QAction* action = menu->addAction(toQString(m_editor.caption(key)));
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, m_text, run);
        return action;
    };
    add(u"Undo", m_text->document()->isUndoAvailable(), [this] { m_text->undo(); });
    menu->addSeparator();
    add(u"Cut", selection, [this] { m_text->cut(); });
    add(u"Copy", selection, [this] { m_text->copy(); });
    add(u"Paste", m_text->canPaste(), [this] { m_text->paste(); });
    add(u"Delete", selection, [this] {
        QTextCursor c = m_text->textCursor();
        c.removeSelectedText();
        m_text->setTextCursor(c);
    });
    menu->addSeparator();
    add(u"CheckAll", !m_text->document()->isEmpty(), [this] { m_text->selectAll(); });
    return menu;
}

// --- the text box --------------------------------------------------------------------------

void CDlgProgramWidget::onBoxTextChanged() {
    if (m_filling) return;
    std::u16string text = toEditor(boxText(m_text));
    const int caret = editorCaret(text, m_text->textCursor().position());
    // A format change reports itself as a change too; only new text is an edit.
    if (text == m_editor.text()) {
        m_editor.setCaret(caret);
        return;
    }
    m_editor.setText(std::move(text), caret);
}

void CDlgProgramWidget::onBoxCaretMoved() {
    if (m_filling) return;
    m_editor.setCaret(editorCaret(m_editor.text(), m_text->textCursor().position()));
}

void CDlgProgramWidget::typeText(std::u16string_view text) {
    // One character at a time, as typed: each one goes through undo and the change path.
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;
        QTextCursor cursor = m_text->textCursor();
        cursor.insertText(QString(QChar(text[i])));
        m_text->setTextCursor(cursor);
    }
    m_text->ensureCursorVisible();
}

// --- timers -------------------------------------------------------------------------------

void CDlgProgramWidget::startTimer(int id, int milliseconds) {
    m_timers.start(id, milliseconds);
}

void CDlgProgramWidget::stopTimer(int id) {
    m_timers.stop(id);
}

bool CDlgProgramWidget::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && m_text->hasFocus()) m_editor.noteKeyPress();
    return QWidget::eventFilter(watched, event);
}

// --- showing the editor's state --------------------------------------------------------------

void CDlgProgramWidget::refresh() {
    const bool wasFilling = std::exchange(m_filling, true);
    refreshCaptions();
    refreshLists();
    refreshFormat();
    refreshText();
    m_filling = wasFilling;
}

void CDlgProgramWidget::refreshCaptions() {
    auto caption = [this](std::u16string_view key) { return toQString(m_editor.caption(key)); };
    m_fontGroup->setTitle(caption(u"Font"));
    m_sizeLabel->setText(caption(u"Size"));
    m_effectGroup->setTitle(caption(u"Effect"));
    m_speedLabel->setText(caption(u"MoveSpeed"));
    m_stopTimeLabel->setText(caption(u"StopTime"));
    m_flicker->setText(caption(u"Flicker"));
    m_borderGroup->setTitle(caption(u"Border"));
    m_borderSpeedLabel->setText(caption(u"BorderSpeed"));
    m_useTemp->setText(caption(u"Temperature"));
    m_pitchLabel->setText(caption(u"Word_pacing"));
    m_autoAdjust->setText(caption(u"Auto_adjust"));
    m_animationLabel->setText(caption(u"GifImage"));
    m_pictureLabel->setText(caption(u"Image"));
}

void CDlgProgramWidget::refreshLists() {
    // Rebuilds the items only when their texts changed; the key tells icons apart.
    auto fill = [this](QComboBox* combo, std::vector<std::u16string> key, auto&& addItems) {
        std::vector<std::u16string>& filled = m_filled[combo];
        if (filled == key && combo->count() == static_cast<int>(key.size())) return;
        combo->clear();
        addItems();
        filled = std::move(key);
        // Long entries (effects, borders, font names) show in full in the open list.
        combo->view()->setMinimumWidth(combo->view()->sizeHintForColumn(0) + 24);
    };
    auto showList = [&](QComboBox* combo, const CDlgProgram::List& list, bool enabled = true) {
        std::vector<std::u16string> key;
        for (const auto& e : list.entries)
            key.push_back(e.label);
        fill(combo, key, [&] {
            for (const auto& e : list.entries)
                combo->addItem(toQString(e.label));
        });
        combo->setCurrentIndex(list.selection);
        combo->setEnabled(list.enabled && enabled);
    };
    auto showColors = [&](QComboBox* combo, const CDlgProgram::List& list, bool text) {
        std::vector<std::u16string> key;
        for (const auto& e : list.entries)
            key.push_back(e.label + u'#' + QString::number(e.value).toStdU16String());
        fill(combo, key, [&] {
            for (const auto& e : list.entries) {
                const QColor color = qColor(static_cast<platform::ColorRef>(e.value));
                combo->addItem(
                    text ? textColorIcon(color, palette()) : backgroundColorIcon(color, palette()),
                    toQString(e.label));
            }
        });
        combo->setCurrentIndex(list.selection);
        combo->setEnabled(list.enabled);
    };

    std::vector<std::u16string> fontKey;
    for (const auto& f : m_editor.fonts())
        fontKey.push_back(f.name);
    fill(m_font, fontKey, [&] {
        for (const auto& f : m_editor.fonts())
            m_font->addItem(toQString(f.name));
    });
    m_font->setCurrentIndex(m_editor.fontSelection());
    m_font->setEnabled(m_editor.fontListEnabled());
    // The open list shows every face name whole: one cut short can read as another
    // face ("DejaVu Sans" for "DejaVu Sans Mono"); the box names the chosen one in full.
    int widest = 0;
    for (int i = 0; i < m_font->count(); ++i)
        widest = std::max(widest, m_font->fontMetrics().horizontalAdvance(m_font->itemText(i)));
    m_font->view()->setMinimumWidth(widest + 2 * style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    m_font->setToolTip(m_font->currentText());

    showList(m_size, m_editor.fontSizes(), m_editor.fontListEnabled());
    showColors(m_textColor, m_editor.textColors(), true);
    showColors(m_backgroundColor, m_editor.backgroundColors(), false);
    showList(m_effect, m_editor.effects());
    showList(m_speed, m_editor.speeds());
    showList(m_stopTime, m_editor.stopTimes());
    showList(m_border, m_editor.borders());
    showList(m_borderSpeed, m_editor.borderSpeeds());
    showList(m_tempUnit, m_editor.tempUnits());

    m_bold->setChecked(m_editor.bold());
    m_italic->setChecked(m_editor.italic());
    m_underline->setChecked(m_editor.underline());
    m_flicker->setChecked(m_editor.flicker());
    m_useTemp->setChecked(m_editor.useTemp());
    m_autoAdjust->setChecked(m_editor.autoAdjust());

    m_offsetX->setValue(m_editor.offsetX());
    m_offsetY->setValue(m_editor.offsetY());
    m_offsetX->setEnabled(m_editor.offsetsEnabled());
    m_offsetY->setEnabled(m_editor.offsetsEnabled());
    m_pitch->setValue(m_editor.pitchOffset());

    // The picture list shows each picture beside its code.
    auto showItems = [this](QListWidget* list, std::vector<std::u16string> key, auto&& addItems) {
        std::vector<std::u16string>& filled = m_filled[list];
        if (filled == key && list->count() == static_cast<int>(key.size())) return;
        list->clear();
        addItems();
        filled = std::move(key);
    };
    std::vector<std::u16string> animationKey = m_editor.animations();
    showItems(m_animations, animationKey, [&] {
        // Each animation by its code, its file's name and its first frame.
        const auto& paths = m_editor.animations();
        for (size_t i = 0; i < paths.size(); ++i) {
            const QString path = toQString(paths[i]);
            auto* item = new QListWidgetItem(QStringLiteral("%1  %2")
                                                 .arg(static_cast<int>(i), 2, 16, QLatin1Char('0'))
                                                 .toUpper()
                                                 .arg(QFileInfo(path).completeBaseName()),
                                             m_animations);
            item->setToolTip(path);
            item->setIcon(thumbnail(path, m_animations->iconSize()));
        }
    });
    std::vector<std::u16string> pictureKey;
    const auto& pictures = m_editor.pictures();
    const auto& entries = m_editor.pictureList();
    for (size_t i = 0; i < entries.size(); ++i)
        pictureKey.push_back(entries[i].label + u'|' +
                             (i < pictures.size() ? pictures[i].imgPath : u""));
    showItems(m_pictures, pictureKey, [&] {
        for (size_t i = 0; i < entries.size(); ++i) {
            auto* item = new QListWidgetItem(toQString(entries[i].label), m_pictures);
            if (i < pictures.size() && !pictures[i].imgPath.empty())
                item->setIcon(
                    pictureThumbnail(toQString(pictures[i].imgPath), m_pictures->iconSize()));
        }
    });
}

void CDlgProgramWidget::refreshFormat() {
    const CDlgProgram::TextFormat& format = m_editor.textFormat();
    QFont font = QApplication::font();
    if (!format.face.empty()) font.setFamilies({toQString(format.face)});
    // The box shows the text three times as high as the sign does.
    const int pixels = m_editor.fontSizePixels() * 3;
    if (pixels > 0) font.setPixelSize(pixels);
    font.setBold(format.bold);
    font.setItalic(format.italic);
    font.setUnderline(format.underline);
    font.setStrikeOut(format.strikeOut);
    if (font != m_text->font()) m_text->setFont(font);

    QPalette palette = m_text->palette();
    const QColor text = qColor(format.color);
    const QColor background = qColor(format.background);
    if (palette.color(QPalette::Text) != text || palette.color(QPalette::Base) != background) {
        for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
            palette.setColor(group, QPalette::Text, text);
            palette.setColor(group, QPalette::Base, background);
        }
        m_text->setPalette(palette);
    }
}

void CDlgProgramWidget::refreshText() {
    const std::u16string& text = m_editor.text();
    const QString wanted = toBox(text);
    // The same text stays as it is, with its undo history and cursor.
    if (boxText(m_text) == wanted) return;
    m_text->setPlainText(wanted);
    QTextCursor cursor = m_text->textCursor();
    cursor.setPosition(
        std::clamp(boxCaret(text, m_editor.caret()), 0, static_cast<int>(wanted.size())));
    m_text->setTextCursor(cursor);
}
