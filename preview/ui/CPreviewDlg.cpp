#include "preview/ui/CPreviewDlg.h"

#include "platform/qt/QtText.h"
#include "preview/ui/LedPanel.h"

#include <QEvent>
#include <QLabel>
#include <QMetaObject>
#include <QMouseEvent>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace {

constexpr int kCaptionHeight = 18;

std::unique_ptr<platform::Clock> ownClockUnless(platform::Clock* clock) {
    if (clock) return nullptr;
    return std::make_unique<platform::SteadyClock>();
}

}  // namespace

CPreviewDlg::CPreviewDlg(QWidget* parent, platform::Clock* clock)
    : QFrame(parent), m_ownClock(ownClockUnless(clock)), m_clock(clock ? *clock : *m_ownClock) {
    setObjectName(QStringLiteral("preview"));
    setStyleSheet(
        QStringLiteral("CPreviewDlg { border: 1px solid #55555c; background: #000; }"
                       "QLabel#caption { background: #2d2d33; color: #e6e6e6;"
                       " padding: 0 6px; }"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // The window is as large as its caption and its LEDs, no more.
    layout->setSizeConstraint(QLayout::SetFixedSize);

    m_caption = new QLabel(this);
    m_caption->setObjectName(QStringLiteral("caption"));
    m_caption->setFixedHeight(kCaptionHeight);
    // A long name is cut; it never widens the window.
    m_caption->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    m_caption->setAttribute(Qt::WA_TransparentForMouseEvents);
    layout->addWidget(m_caption);

    m_leds = new LedPanel(this);
    m_leds->setObjectName(QStringLiteral("leds"));
    m_leds->setAttribute(Qt::WA_TransparentForMouseEvents);
    layout->addWidget(m_leds);

    m_mailbox.reset(m_leds->frame());
    setCursor(Qt::SizeAllCursor);
    if (parent) parent->installEventFilter(this);
}

CPreviewDlg::~CPreviewDlg() {
    m_player.reset();
    if (parentWidget()) parentWidget()->removeEventFilter(this);
}

void CPreviewDlg::restart(std::vector<uint8_t> image, std::vector<uint8_t> animationSet,
                          int temperature, std::vector<std::u16string> names) {
    m_player.reset();
    ++m_generation;
    m_names = std::move(names);
    setCaption({});

    const uint64_t generation = m_generation;
    PreviewPlayer::Callbacks callbacks;
    callbacks.programStarted = [this, generation](int index) {
        QMetaObject::invokeMethod(
            this, [this, generation, index] { programStarted(generation, index); },
            Qt::QueuedConnection);
    };
    callbacks.frame = [this](const PreviewFrame& frame) { frameArrived(frame); };
    auto player = std::make_unique<PreviewPlayer>(
        m_clock, std::move(image), std::move(animationSet), PreviewPlayer::Options{temperature, 0},
        std::move(callbacks));

    // Nothing of the old player reaches the window from here on.
    m_leds->setSignSize(player->width(), player->height());
    m_mailbox.reset(m_leds->frame());
    placeInView();
    if (player->playable()) {
        m_player = std::move(player);
        m_player->start();
    }
}

void CPreviewDlg::frameArrived(const PreviewFrame& frame) {
    if (m_mailbox.put(frame))
        QMetaObject::invokeMethod(
            this, [this] { showNewestFrame(); }, Qt::QueuedConnection);
}

void CPreviewDlg::showNewestFrame() {
    if (const std::optional<PreviewFrame> frame = m_mailbox.take()) m_leds->showFrame(*frame);
}

void CPreviewDlg::programStarted(uint64_t generation, int index) {
    if (generation != m_generation) return;
    if (index >= 0 && static_cast<size_t>(index) < m_names.size())
        setCaption(platform::toQString(m_names[static_cast<size_t>(index)]));
    else
        setCaption({});
}

void CPreviewDlg::setCaption(const QString& text) {
    m_caption->setText(text);
    setWindowTitle(text);
}

QString CPreviewDlg::caption() const {
    return m_caption->text();
}

// --- moving inside the view ------------------------------------------------------------------

void CPreviewDlg::placeInView() {
    QWidget* view = parentWidget();
    if (!view) return;
    adjustSize();
    const QSize room = view->size() - size();
    if (!m_movedByUser) {
        move(std::max(0, room.width() / 2), std::max(0, room.height() / 2));
        return;
    }
    move(std::clamp(x(), 0, std::max(0, room.width())),
         std::clamp(y(), 0, std::max(0, room.height())));
}

void CPreviewDlg::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QFrame::mousePressEvent(event);
    m_dragOffset = event->position().toPoint();
    event->accept();
}

void CPreviewDlg::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragOffset || !(event->buttons() & Qt::LeftButton)) return QFrame::mouseMoveEvent(event);
    move(mapToParent(event->position().toPoint()) - *m_dragOffset);
    m_movedByUser = true;
    placeInView();
    event->accept();
}

void CPreviewDlg::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) m_dragOffset.reset();
    QFrame::mouseReleaseEvent(event);
}

bool CPreviewDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize) placeInView();
    return QFrame::eventFilter(watched, event);
}
