#include "project/ui/CScreenSelDialog.h"

#include "platform/qt/QtBitmap.h"
#include "platform/qt/QtText.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>

namespace {

using platform::toQString;

constexpr int kTickMs = 10;
constexpr int kDefaultFrameMs = 100;
constexpr int kDefaultPackMs = 500;

std::vector<CScreenPictureButton::Frame> framesOf(const CScreenSel::Button& b,
                                                  platform::ImageCodec& codec) {
    std::vector<CScreenPictureButton::Frame> frames;
    if (b.kind == ScreenCatalogue::Kind::MultiFrame) {
        std::vector<platform::ImageFrame> decoded;
        if (codec.loadFrames(b.pictures.front(), decoded))
            for (const auto& f : decoded)
                frames.push_back(
                    {platform::toQImage(f.image), f.delayMs > 0 ? f.delayMs : kDefaultFrameMs});
    } else {
        for (const auto& path : b.pictures) {
            platform::Bitmap image;
            if (codec.load(path, image))
                frames.push_back(
                    {platform::toQImage(image), b.speed > 0 ? b.speed : kDefaultPackMs});
        }
    }
    return frames;
}

}  // namespace

CScreenPictureButton::CScreenPictureButton(int number, std::vector<Frame> frames, QString caption,
                                           QWidget* parent)
    : QAbstractButton(parent),
      m_number(number),
      m_frames(std::move(frames)),
      m_caption(std::move(caption)) {
    setObjectName(QStringLiteral("screenButton%1").arg(number));
    setFixedSize(CScreenSel::kButtonWidth, CScreenSel::kButtonHeight);
    setToolTip(m_caption);
    setCursor(Qt::PointingHandCursor);
}

void CScreenPictureButton::setSelected(bool selected) {
    if (m_selected == selected) return;
    m_selected = selected;
    update();
}

void CScreenPictureButton::tick(int elapsedMs) {
    if (m_frames.size() < 2) return;
    m_shownMs += elapsedMs;
    if (m_shownMs < m_frames[m_frame].ms) return;
    m_shownMs = 0;
    m_frame = (m_frame + 1) % static_cast<int>(m_frames.size());
    update();
}

void CScreenPictureButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(24, 24, 24));
    if (!m_frames.empty()) {
        const QImage& image = m_frames[m_frame].image;
        const QSize fitted = image.size().scaled(size() - QSize(8, 8), Qt::KeepAspectRatio);
        const QRect target(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2),
                           fitted);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(target, image);
    }
    // The size in the corner, on a dark plate so that it reads over any picture.
    if (!m_caption.isEmpty()) {
        const QRect text = p.fontMetrics().boundingRect(m_caption).adjusted(-5, -2, 5, 2);
        const QRect plate(width() - text.width() - 6, height() - text.height() - 6, text.width(),
                          text.height());
        p.fillRect(plate, QColor(0, 0, 0, 190));
        p.setPen(QColor(235, 235, 235));
        p.drawText(plate, Qt::AlignCenter, m_caption);
    }
    if (m_selected || underMouse()) {
        QPen pen(m_selected ? palette().color(QPalette::Highlight) : QColor(140, 140, 140),
                 m_selected ? 4 : 2);
        pen.setJoinStyle(Qt::MiterJoin);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        const int inset = pen.width() / 2;
        p.drawRect(rect().adjusted(inset, inset, -inset - 1, -inset - 1));
    }
}

CQVIBGDlg::CQVIBGDlg(CScreenSel& dlg, platform::ImageCodec& codec, QWidget* parent)
    : QWidget(parent), m_dlg(dlg) {
    setObjectName(QStringLiteral("CQVIBGDlg"));
    m_content = new QWidget(this);
    m_scroll = new QScrollBar(Qt::Vertical, this);
    m_scroll->setSingleStep(CScreenSel::kLineStep);
    connect(m_scroll, &QScrollBar::valueChanged, this, [this] { layOut(); });

    const auto& buttons = dlg.buttons();
    for (size_t k = 0; k < buttons.size(); ++k) {
        const CScreenSel::Button& b = buttons[k];
        auto* button =
            new CScreenPictureButton(static_cast<int>(k), framesOf(b, codec),
                                     toQString(dlg.buttonCaption(static_cast<int>(k))), m_content);
        connect(button, &QAbstractButton::clicked, this, [this, number = static_cast<int>(k)] {
            m_dlg.onPictureClicked(number);
            markSelected();
        });
        m_buttons.push_back(button);
    }
    markSelected();
    setMinimumSize(
        CScreenSel::kButtonX * 2 + CScreenSel::kButtonWidth + m_scroll->sizeHint().width(), 240);

    m_clock.start();
    connect(&m_animation, &QTimer::timeout, this, &CQVIBGDlg::tick);
    m_animation.start(kTickMs);
}

void CQVIBGDlg::markSelected() {
    for (auto* b : m_buttons)
        b->setSelected(b->number() == m_dlg.selectedButton());
}

void CQVIBGDlg::tick() {
    const int elapsed = static_cast<int>(m_clock.restart());
    for (auto* b : m_buttons)
        b->tick(elapsed);
}

void CQVIBGDlg::layOut() {
    const int barWidth = m_scroll->sizeHint().width();
    m_scroll->setGeometry(width() - barWidth, 0, barWidth, height());
    m_content->setGeometry(0, 0, width() - barWidth, height());
    for (auto* b : m_buttons)
        b->move(CScreenSel::kButtonX, CScreenSel::buttonTop(b->number()) - m_scroll->value());
}

void CQVIBGDlg::resizeEvent(QResizeEvent*) {
    // The range runs to the top of the last row plus 40 and a page is the list's
    // height; as with a native scroll bar, the last position shows the end of the range.
    const int page = height();
    m_scroll->setPageStep(page);
    m_scroll->setRange(0, std::max(0, m_dlg.scrollMaximum() - page + 1));
    layOut();
}

void CQVIBGDlg::wheelEvent(QWheelEvent* event) {
    // One line per notch: down for a turn towards the user.
    m_wheelRemainder += event->angleDelta().y();
    while (m_wheelRemainder >= 120) {
        m_scroll->setValue(m_scroll->value() - CScreenSel::kLineStep);
        m_wheelRemainder -= 120;
    }
    while (m_wheelRemainder <= -120) {
        m_scroll->setValue(m_scroll->value() + CScreenSel::kLineStep);
        m_wheelRemainder += 120;
    }
    event->accept();
}

CScreenSelDialog::CScreenSelDialog(CScreenSel& dlg, platform::ImageCodec& codec, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("CScreenSel"));
    setWindowTitle(toQString(dlg.title()));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(10);
    auto* title = new QLabel(toQString(dlg.title()), this);
    title->setObjectName(QStringLiteral("title"));
    layout->addWidget(title);
    m_list = new CQVIBGDlg(dlg, codec, this);
    m_list->setMinimumHeight(4 * CScreenSel::kRowPitch + 10);
    layout->addWidget(m_list, 1);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(toQString(dlg.okText()), QDialogButtonBox::AcceptRole)
        ->setObjectName(QStringLiteral("ok"));
    buttons->addButton(toQString(dlg.cancelText()), QDialogButtonBox::RejectRole)
        ->setObjectName(QStringLiteral("cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}
