#include "assets/ui/CBmpEditDialog.h"

#include "platform/qt/QtBitmap.h"
#include "platform/qt/QtText.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStringList>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>
#include <functional>

// The icons are in this static library's resources, which the linker keeps only
// when something names them (and Q_INIT_RESOURCE must not sit in a namespace).
static void loadEditorIcons() {
    Q_INIT_RESOURCE(BmpEditIcons);
}

namespace assets_ui {

// The grid as the logic draws it, at (gridLeft, 30) of the client area. A press
// of the left or the right button, the moves and the release go to the logic in
// client coordinates; Qt sends the moves and the release to the widget that took
// the press wherever the pointer goes, which is the capture the logic asks for.
class BmpGrid : public QWidget {
public:
    BmpGrid(CBmpEdit& dlg, QWidget* parent) : QWidget(parent), m_dlg(dlg) {
        setObjectName(QStringLiteral("grid"));
        setAttribute(Qt::WA_OpaquePaintEvent);
        setCursor(Qt::CrossCursor);
        // The window's first focus, rather than a read-only field with its frame lit.
        setFocusPolicy(Qt::StrongFocus);
    }

    // Where the logic puts the grid now; its last lines may reach past the client area.
    void place() {
        setGeometry(m_dlg.gridLeft(), CBmpEdit::kGridTop,
                    CBmpEdit::kCell * m_dlg.width() + CBmpEdit::kLineWidth,
                    CBmpEdit::kCell * m_dlg.height() + CBmpEdit::kLineWidth);
    }

    // A drag that the window loses (hidden meanwhile) ends as a release would.
    void endDrag() {
        if (m_button == Qt::NoButton) return;
        m_button = Qt::NoButton;
        m_dlg.onMouseUp();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.drawImage(0, 0, platform::toQImage(m_dlg.drawGrid()));
    }

    void mousePressEvent(QMouseEvent* event) override {
        // One drag at a time: a second button while one is held changes nothing.
        if (m_button != Qt::NoButton) return;
        if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton) return;
        m_button = event->button();
        const QPoint at = client(*event);
        m_dlg.onMouseDown(at.x(), at.y(), m_button == Qt::RightButton);
    }

    void mouseMoveEvent(QMouseEvent* event) override {
        if (m_button == Qt::NoButton) return;
        const QPoint at = client(*event);
        m_dlg.onMouseMove(at.x(), at.y());
    }

    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == m_button) endDrag();
    }

private:
    QPoint client(const QMouseEvent& event) const {
        const QPointF local = event.position();
        return QPoint(static_cast<int>(std::floor(local.x())),
                      static_cast<int>(std::floor(local.y()))) +
               pos();
    }

    CBmpEdit& m_dlg;
    Qt::MouseButton m_button = Qt::NoButton;
};

}  // namespace assets_ui

namespace {

using platform::toQString;
using Dlg = CBmpEdit;

// Every control in the strip fits 26 pixels, so the strip stays the 30 above the grid.
constexpr int kControlHeight = 26;
constexpr int kFieldHeight = 24;
constexpr int kFieldWidth = 46;
constexpr int kArrowWidth = 16;
constexpr int kIconSide = 20;

}  // namespace

CBmpEditDialog::CBmpEditDialog(CBmpEdit& dlg, QWidget* parent) : QDialog(parent), m_dlg(dlg) {
    static const bool iconsLoaded = (loadEditorIcons(), true);
    (void)iconsLoaded;
    setObjectName(QStringLiteral("CBmpEdit"));
    setModal(false);

    m_strip = new QWidget(this);
    m_strip->setObjectName(QStringLiteral("strip"));
    auto* row = new QHBoxLayout(m_strip);
    row->setContentsMargins(6, (Dlg::kGridTop - kControlHeight) / 2, 6,
                            (Dlg::kGridTop - kControlHeight) / 2);
    row->setSpacing(4);

    auto label = [this](int id, const char* name) {
        auto* l = new QLabel(m_strip);
        l->setObjectName(QLatin1String(name));
        m_controls[id] = l;
        return l;
    };
    auto field = [this](int id, const char* name) {
        auto* f = new QLineEdit(m_strip);
        f->setObjectName(QLatin1String(name));
        f->setReadOnly(true);
        f->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        f->setFixedSize(kFieldWidth, kFieldHeight);
        m_controls[id] = f;
        return f;
    };
    // The up and down arrows of a field, one step per click (held down, it repeats).
    auto arrows = [this](const QString& name, std::function<void(int)> step) {
        auto* pair = new QWidget(m_strip);
        auto* column = new QVBoxLayout(pair);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(0);
        for (const int delta : {1, -1}) {
            auto* arrow = new QToolButton(pair);
            arrow->setObjectName(name +
                                 (delta > 0 ? QStringLiteral("Up") : QStringLiteral("Down")));
            arrow->setArrowType(delta > 0 ? Qt::UpArrow : Qt::DownArrow);
            arrow->setFixedSize(kArrowWidth, kFieldHeight / 2);
            arrow->setAutoRepeat(true);
            arrow->setFocusPolicy(Qt::NoFocus);
            connect(arrow, &QToolButton::clicked, this, [step, delta] { step(delta); });
            column->addWidget(arrow);
        }
        return pair;
    };
    auto tool = [this](int id, const char* name, const char* icon, const QString& tip) {
        auto* b = new QToolButton(m_strip);
        b->setObjectName(QLatin1String(name));
        b->setIcon(QIcon(QStringLiteral(":/bmpedit/%1.png").arg(QLatin1String(icon))));
        b->setIconSize(QSize(kIconSide, kIconSide));
        b->setFixedSize(kControlHeight, kControlHeight);
        b->setAutoRaise(true);
        b->setToolTip(tip);
        connect(b, &QToolButton::clicked, this, [this, id] { button(id); });
        m_controls[id] = b;
        return b;
    };

    row->addWidget(label(Dlg::IDC_WIDTH_LABEL, "widthLabel"));
    row->addWidget(field(Dlg::IDC_WIDTH, "width"));
    m_controls[Dlg::IDC_WIDTH_SPIN] =
        arrows(QStringLiteral("width"), [this](int d) { m_dlg.onWidthArrow(d); });
    row->addWidget(m_controls[Dlg::IDC_WIDTH_SPIN]);
    row->addSpacing(10);
    row->addWidget(label(Dlg::IDC_HEIGHT_LABEL, "heightLabel"));
    row->addWidget(field(Dlg::IDC_HEIGHT, "height"));
    m_controls[Dlg::IDC_HEIGHT_SPIN] =
        arrows(QStringLiteral("height"), [this](int d) { m_dlg.onHeightArrow(d); });
    row->addWidget(m_controls[Dlg::IDC_HEIGHT_SPIN]);
    row->addSpacing(14);
    // The tool tips are this face's own; the captions the logic sets come from the language.
    m_pen = tool(Dlg::IDC_PEN, "pen", "pen", tr("Pen"));
    m_eraser = tool(Dlg::IDC_ERASER, "eraser", "eraser", tr("Eraser"));
    // Pen and eraser show which colour a click paints.
    m_pen->setCheckable(true);
    m_eraser->setCheckable(true);
    row->addWidget(m_pen);
    row->addWidget(m_eraser);
    row->addWidget(tool(Dlg::IDC_CLEAR, "clear", "clear", tr("Clear")));
    row->addSpacing(6);
    row->addWidget(tool(Dlg::IDC_OPEN, "open", "open", tr("Open")));
    row->addWidget(tool(Dlg::IDC_SAVE_AS, "saveAs", "saveas", tr("Save As")));
    row->addSpacing(10);

    auto* save = new QPushButton(m_strip);
    save->setObjectName(QStringLiteral("save"));
    save->setFixedHeight(kControlHeight);
    // Enter must not press Save: no button of this window is ever the default one.
    save->setAutoDefault(false);
    save->setDefault(false);
    connect(save, &QPushButton::clicked, this, [this] { button(Dlg::IDC_SAVE); });
    m_controls[Dlg::IDC_SAVE] = save;
    row->addWidget(save);
    row->addStretch();

    // Kept in the settings and taken before files are opened or written; never shown.
    m_zoom = new QCheckBox(this);
    m_zoom->setObjectName(QStringLiteral("zoom"));
    m_zoom->hide();
    m_controls[Dlg::IDC_ZOOM] = m_zoom;

    m_grid = new assets_ui::BmpGrid(m_dlg, this);

    m_dlg.setView(this);
}

CBmpEditDialog::~CBmpEditDialog() {
    m_dlg.setView(nullptr);
}

void CBmpEditDialog::initDialog() {
    m_dlg.onInitDialog();
    m_zoom->setChecked(m_dlg.zoom());
    m_grid->setFocus();
    showTool();
}

void CBmpEditDialog::takeValues() {
    m_dlg.setZoom(m_zoom->isChecked());
}

void CBmpEditDialog::button(int id) {
    if (id == Dlg::IDC_OPEN || id == Dlg::IDC_SAVE_AS) takeValues();
    m_dlg.onButton(id);
    showTool();
}

void CBmpEditDialog::showTool() {
    m_pen->setChecked(m_dlg.currentColour() == Dlg::kPen);
    m_eraser->setChecked(m_dlg.currentColour() == Dlg::kEraser);
}

void CBmpEditDialog::setTitle(const std::u16string& title) {
    setWindowTitle(toQString(title));
}

void CBmpEditDialog::setControlText(int id, const std::u16string& text) {
    const auto found = m_controls.find(id);
    if (found == m_controls.end()) return;
    if (auto* l = qobject_cast<QLabel*>(found->second))
        l->setText(toQString(text));
    else if (auto* f = qobject_cast<QLineEdit*>(found->second))
        f->setText(toQString(text));
    else if (auto* b = qobject_cast<QAbstractButton*>(found->second))
        b->setText(toQString(text));
}

void CBmpEditDialog::resizeClient(int width, int height) {
    // A fixed size: the frame cannot be dragged, and a shown window keeps its top-left corner.
    setFixedSize(width, height);
    m_strip->setGeometry(0, 0, width, Dlg::kGridTop);
    m_grid->place();
}

void CBmpEditDialog::redraw() {
    m_grid->update();
}

void CBmpEditDialog::captureMouse(bool on) {
    // The grid already gets every move and the release of the press it took.
    (void)on;
}

QString CBmpEditDialog::qtFilter(std::u16string_view filter) {
    const QStringList parts = toQString(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype k = 0; k + 1 < parts.size(); k += 2) {
        QString name = parts[k].trimmed();
        if (name.isEmpty()) break;
        // The name carries its own pattern list in brackets; Qt wants its own there.
        if (const qsizetype bracket = name.indexOf(QLatin1Char('(')); bracket > 0)
            name = name.left(bracket).trimmed();
        QStringList globs;
        for (const QString& glob : parts[k + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts))
            if (const QString g = glob.trimmed(); !g.isEmpty()) globs << g;
        globs.removeDuplicates();
        if (globs.isEmpty()) globs << QStringLiteral("*");
        filters << name + QStringLiteral(" (") + globs.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return filters.join(QStringLiteral(";;"));
}

std::optional<std::filesystem::path> CBmpEditDialog::openFileDialog(std::u16string_view filter) {
    const QString file = QFileDialog::getOpenFileName(this, QString(), QString(), qtFilter(filter));
    if (file.isEmpty()) return std::nullopt;
    return std::filesystem::path(file.toStdString());
}

std::optional<std::filesystem::path> CBmpEditDialog::saveFileDialog(
    std::u16string_view defaultName, std::u16string_view defaultExtension,
    std::u16string_view filter) {
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(qtFilter(filter));
    dialog.setDefaultSuffix(toQString(defaultExtension));
    dialog.selectFile(toQString(defaultName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return std::filesystem::path(dialog.selectedFiles().constFirst().toStdString());
}

void CBmpEditDialog::messageBox(const std::u16string& text) {
    QMessageBox::information(this, QStringLiteral("Zentari"), toQString(text));
}

void CBmpEditDialog::closeEvent(QCloseEvent* event) {
    // The close box keeps the picture and the size for the next time.
    takeValues();
    m_dlg.onClose();
    event->accept();
}

void CBmpEditDialog::keyPressEvent(QKeyEvent* event) {
    // Enter ends the window as OK does: hidden, nothing written.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CBmpEditDialog::hideEvent(QHideEvent* event) {
    m_grid->endDrag();
    QDialog::hideEvent(event);
}
