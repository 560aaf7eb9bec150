#include "app/ui/ToolbarPanel.h"

#include "platform/Folders.h"
#include "platform/qt/QtText.h"

#include <QAction>
#include <QEvent>
#include <QKeyEvent>
#include <QLayout>
#include <QMainWindow>
#include <QMenu>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPixmap>
#include <QStyle>
#include <QToolButton>

#include <algorithm>
#include <utility>

namespace {

using platform::toQString;

constexpr int kDefaultSide = 32;

// A button size from the user's file, kept to what a toolbar can show.
int boundedSide(uint32_t side) {
    if (side == 0) return kDefaultSide;
    return static_cast<int>(std::clamp<uint32_t>(side, 8, 128));
}

QString qtPath(const std::filesystem::path& path) {
    return toQString(path.u16string());
}

// A caption as a button label: an '&' is shown, not taken as a mnemonic.
QString label(const std::u16string& caption) {
    return toQString(caption).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

}  // namespace

ToolbarPanel::ToolbarPanel(const platform::TextLookup& texts, std::filesystem::path dataFolder,
                           std::filesystem::path programFolder, Post post, QWidget* parent)
    : QToolBar(parent),
      m_texts(texts),
      m_dataFolder(std::move(dataFolder)),
      m_programFolder(std::move(programFolder)),
      m_post(std::move(post)) {
    setObjectName(QStringLiteral("toolbarPanel"));
    // It moves between the top and the bottom of the window; floating or
    // standing on end, the test against its right edge would mean nothing.
    setMovable(true);
    setFloatable(false);
    setAllowedAreas(Qt::TopToolBarArea | Qt::BottomToolBarArea);
    // Always there: the window's toolbar menu offers no way to hide it.
    toggleViewAction()->setVisible(false);
    rebuild();
}

ToolbarPanel::~ToolbarPanel() = default;

std::vector<CDialogToolbar::Button> ToolbarPanel::currentButtons() const {
    if (!m_described) return CDialogToolbar::fixedButtons(m_texts, m_programFolder / "icons");
    std::vector<CDialogToolbar::Button> buttons =
        CDialogToolbar::describedButtons(m_description, m_texts);
    // A path the user wrote as ".\icons\…" is the program folder's.
    for (CDialogToolbar::Button& b : buttons)
        b.icon = platform::resolveProgramRelative(m_programFolder, b.icon.u16string());
    return buttons;
}

void ToolbarPanel::post(int command) {
    // After the click (or the menu) has finished, as a posted command would.
    QMetaObject::invokeMethod(
        this,
        [this, command] {
            if (m_post) m_post(command);
        },
        Qt::QueuedConnection);
}

void ToolbarPanel::forwardCommand(int id) {
    if (const std::optional<int> command = CDialogToolbar::forwarded(id)) post(*command);
}

std::vector<QToolButton*> ToolbarPanel::buttons() const {
    std::vector<QToolButton*> out;
    for (const Entry& e : m_entries)
        out.push_back(qobject_cast<QToolButton*>(widgetForAction(e.action)));
    return out;
}

QAction* ToolbarPanel::batchItem() const {
    for (const Entry& e : m_entries)
        if (e.batch) return e.batch;
    return nullptr;
}

void ToolbarPanel::clearButtons() {
    for (Entry& e : m_entries) {
        removeAction(e.action);
        // Later: a rebuild may come from within one of these objects' own signals.
        e.action->deleteLater();
        if (e.menu) e.menu->deleteLater();
    }
    m_entries.clear();
}

void ToolbarPanel::rebuild() {
    clearButtons();
    m_description = ToolbarDescription::read(ToolbarDescription::fileIn(m_dataFolder));
    m_described = !CDialogToolbar::describedButtons(m_description, m_texts).empty();
    QSize side(kDefaultSide, kDefaultSide);
    m_gap = CDialogToolbar::kGap;
    if (m_described) {
        side = QSize(boundedSide(m_description.width), boundedSide(m_description.height));
        m_gap = static_cast<int>(std::min<uint32_t>(m_description.spacing, 64));
    }
    setIconSize(side);
    layout()->setSpacing(m_gap);

    for (const CDialogToolbar::Button& b : currentButtons()) {
        Entry e;
        e.button = b;
        // An image that does not load still leaves a button to press.
        const QPixmap pixmap(qtPath(b.icon));
        const QIcon icon =
            pixmap.isNull() ? style()->standardIcon(QStyle::SP_FileIcon) : QIcon(pixmap);
        e.action = addAction(icon, QString());
        e.action->setVisible(!b.hidden);
        connect(e.action, &QAction::triggered, this,
                [this, b] { post(CDialogToolbar::commandOf(b, false)); });
        auto* button = qobject_cast<QToolButton*>(widgetForAction(e.action));
        button->setObjectName(QStringLiteral("command%1").arg(b.command));
        if (b.dropDown) {
            e.menu = new QMenu(this);
            e.batch = e.menu->addAction(QString());
            e.batch->setData(CDialogToolbar::ID_BATCH_ITEM);
            connect(e.batch, &QAction::triggered, this,
                    [this, b] { post(CDialogToolbar::commandOf(b, true)); });
            button->setMenu(e.menu);
            button->setPopupMode(QToolButton::MenuButtonPopup);
        }
        m_entries.push_back(std::move(e));
    }
    applyCaptions();
}

void ToolbarPanel::retranslate() {
    applyCaptions();
}

void ToolbarPanel::applyCaptions() {
    const std::vector<CDialogToolbar::Button> now = currentButtons();
    for (size_t i = 0; i < m_entries.size() && i < now.size(); ++i)
        m_entries[i].button.caption = now[i].caption;
    for (Entry& e : m_entries)
        if (e.batch) e.batch->setText(label(m_texts.text(u"BatchTx")));
    measure();
    relayout(true);
}

// Each button's width as it would be with its caption beside the icon,
// whether the caption shows now or not.
void ToolbarPanel::measure() {
    for (Entry& e : m_entries) {
        const QToolButton* real = qobject_cast<QToolButton*>(widgetForAction(e.action));
        QMenu menu;  // outlives the probe that points to it
        QToolButton probe;
        probe.setFont(real->font());
        probe.setAutoRaise(true);
        probe.setIconSize(iconSize());
        probe.setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        probe.setIcon(e.action->icon());
        if (e.menu) {
            probe.setMenu(&menu);
            probe.setPopupMode(QToolButton::MenuButtonPopup);
        }
        probe.setText(label(e.button.caption));
        e.textWidth = probe.sizeHint().width();
    }
}

int ToolbarPanel::availableWidth() const {
    const QMargins margins = layout()->contentsMargins();
    int width = this->width() - margins.left() - margins.right();
    // The grip at the left takes its share when the panel can be moved.
    if (isMovable() && qobject_cast<QMainWindow*>(parentWidget()))
        width -= style()->pixelMetric(QStyle::PM_ToolBarHandleExtent, nullptr, this);
    return width;
}

void ToolbarPanel::relayout(bool force) {
    std::vector<int> widths;
    std::vector<bool> hidden;
    for (const Entry& e : m_entries) {
        widths.push_back(e.textWidth);
        hidden.push_back(e.button.hidden);
    }
    const bool texts = CDialogToolbar::layout(widths, hidden, availableWidth(), m_gap).texts;
    if (texts == m_showTexts && !force) return;
    m_showTexts = texts;
    setToolButtonStyle(texts ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonIconOnly);
    for (Entry& e : m_entries) {
        const QString caption = label(e.button.caption);
        e.action->setText(texts ? caption : QString());
        e.action->setToolTip(toQString(e.button.caption));
    }
}

bool ToolbarPanel::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::ShortcutOverride:
            // F12 here is the panel's own, not the window's shortcut.
            if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_F12) {
                event->accept();
                return true;
            }
            break;
        case QEvent::FontChange:
        case QEvent::StyleChange: {
            const bool result = QToolBar::event(event);
            layout()->setSpacing(m_gap);
            measure();
            relayout(true);
            return result;
        }
        default:
            break;
    }
    return QToolBar::event(event);
}

void ToolbarPanel::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F12) {
        post(CDialogToolbar::kF12Command);
        event->accept();
        return;
    }
    QToolBar::keyPressEvent(event);
}

void ToolbarPanel::mousePressEvent(QMouseEvent* event) {
    QToolBar::mousePressEvent(event);
    // A click between the buttons puts the keyboard here; the buttons themselves
    // leave the focus where it was.
    setFocus(Qt::MouseFocusReason);
}

void ToolbarPanel::resizeEvent(QResizeEvent* event) {
    QToolBar::resizeEvent(event);
    relayout();
}
