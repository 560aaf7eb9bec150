#include "device/ui/CVirtualSignWindow.h"

#include "assets/AnimationSet.h"
#include "device/DeviceImageReader.h"
#include "device/LinkProtocol.h"
#include "platform/Format.h"
#include "platform/TextCodec.h"
#include "platform/qt/QtText.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMetaObject>
#include <QPainter>
#include <QPushButton>
#include <QTime>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>

namespace {

constexpr int kLedPitch = 7;
constexpr int kMargin = 10;

}  // namespace

CVirtualSignWindow::CVirtualSignWindow(SimulatedSign& signs, int sign,
                                       const platform::TextLookup& texts, QWidget* parent)
    : QWidget(parent, Qt::Window), m_signs(signs), m_sign(sign), m_texts(texts) {
    const SimulatedSign::Config config = signs.config(sign);
    // A sign's geometry reply carries no more than this.
    m_width = std::clamp(config.width, 0, 255);
    m_height = std::clamp(config.height, 0, 127);
    m_leds.assign(static_cast<size_t>(m_width) * m_height, false);
    setObjectName(QStringLiteral("virtualSign%1").arg(sign));
    // A sign window alone never keeps the program running once the main window has closed.
    setAttribute(Qt::WA_QuitOnClose, false);
    m_ledAreaHeight = m_height * kLedPitch + 2 * kMargin;
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kMargin, m_ledAreaHeight, kMargin, kMargin);
    auto* statusRow = new QHBoxLayout;
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    // A longer status wraps rather than widening the window.
    m_status->setWordWrap(true);
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusRow->addWidget(m_status, 1);
    m_plug = new QPushButton(this);
    m_plug->setObjectName(QStringLiteral("plug"));
    connect(m_plug, &QPushButton::clicked, this, &CVirtualSignWindow::togglePlug);
    statusRow->addWidget(m_plug);
    layout->addLayout(statusRow);
    m_blocks = new QTreeWidget(this);
    m_blocks->setRootIsDecorated(false);
    m_blocks->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(m_blocks);
    resize(std::max(m_width * kLedPitch + 2 * kMargin, 420), m_ledAreaHeight + 200);

    // The sign is also pulled by its unplug option or by whoever else holds it;
    // the watch's thread only asks this window's thread to look again.
    const std::string path = signs.pathOf(sign);
    m_watch = signs.watch([this, path](const platform::HidHotplugEvent& event) {
        if (event.path == path)
            QMetaObject::invokeMethod(
                this, [this] { refreshPresence(); }, Qt::QueuedConnection);
    });
    // After the watch: a change from now on is seen either here or through it.
    refreshPresence();
    retranslate();
}

// The watch goes first, so its listener never posts to a window being torn
// down; the player's threads end before the window's parts go.
CVirtualSignWindow::~CVirtualSignWindow() {
    m_watch.reset();
    m_player.reset();
}

void CVirtualSignWindow::setPlayer(std::unique_ptr<Player> player) {
    stopPlaying();
    m_player = std::move(player);
    if (playLastImage()) refreshStatus();
}

void CVirtualSignWindow::showLeds(int width, int height, const std::vector<bool>& lit) {
    if (!m_playing || width != m_width || height != m_height || lit.size() != m_leds.size() ||
        lit == m_leds)
        return;
    m_leds = lit;
    update(ledArea());
}

bool CVirtualSignWindow::playLastImage() {
    if (!m_player || m_image.empty() || !m_present) return false;
    std::fill(m_leds.begin(), m_leds.end(), false);
    m_playing = true;
    m_player->play(m_image, m_animationSet, m_temperature);
    m_showing = {Showing::Playing, static_cast<int>(m_programs), 0, !m_animationSet.empty(), {}};
    update(ledArea());
    return true;
}

void CVirtualSignWindow::stopPlaying() {
    if (m_player) m_player->stop();
    m_playing = false;
}

void CVirtualSignWindow::blockReceived(const SimulatedSign::Block& block) {
    QMetaObject::invokeMethod(
        this, [this, block] { addBlock(block); }, Qt::QueuedConnection);
}

int CVirtualSignWindow::blockCount() const {
    return m_blocks->topLevelItemCount();
}

void CVirtualSignWindow::addBlock(const SimulatedSign::Block& block) {
    using namespace std::chrono;
    const auto took = duration_cast<milliseconds>(block.finished - block.started).count();
    auto* item = new QTreeWidgetItem(
        {QTime::currentTime().toString(QStringLiteral("HH:mm:ss")), kindName(block.kind),
         QString::number(block.bytes.size()), QString::number(block.packets),
         platform::toQString(platform::format(m_texts.text(u"VSignMs"), {int(took)}))});
    // Kept for retranslate().
    item->setData(1, Qt::UserRole, block.kind);
    item->setData(4, Qt::UserRole, static_cast<qlonglong>(took));
    m_blocks->insertTopLevelItem(0, item);

    if (block.kind == signlink::KIND_DEVICE_IMAGE) {
        showImage(block.bytes);
    } else if (block.kind == signlink::KIND_ANIMATION_SET) {
        showAnimationSet(block.bytes);
    } else if (block.kind == signlink::KIND_TEST_PATTERN && block.bytes.size() == 1) {
        stopPlaying();
        const uint8_t pattern = block.bytes[0];
        for (int row = 0; row < m_height; ++row)
            for (int col = 0; col < m_width; ++col) {
                bool on = pattern == 2 || (pattern == 3 && (col + row) % 4 == 0) ||
                          (pattern == 4 && (col - row + 4 * m_height) % 4 == 0);
                m_leds[static_cast<size_t>(row) * m_width + col] = on;
            }
        m_showing = {Showing::TestPattern, pattern, 0, false, {}};
    }
    refreshStatus();
    update(ledArea());
}

void CVirtualSignWindow::showImage(const std::vector<uint8_t>& bytes) {
    stopPlaying();
    m_image.clear();
    std::fill(m_leds.begin(), m_leds.end(), false);
    const std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const DeviceImageReader::Image image = DeviceImageReader::read(view);
    if (image.records.empty() || image.width != m_width || image.height != m_height) {
        m_showing = image.problem.empty() ? Showing{Showing::OtherSize, 0, 0, false, {}}
                                          : Showing{Showing::DamagedImage, 0, 0, false,
                                                    platform::utf8ToUtf16(image.problem)};
        return;
    }
    m_image = bytes;
    m_programs = image.records.size();
    // The sign reads 16 degrees and corrects it as the image says.
    m_temperature = 16 + image.temperatureCorrection;
    if (playLastImage()) return;
    const auto& record = image.records.front();
    for (int row = 0; row < m_height; ++row)
        for (int col = 0; col < m_width; ++col)
            m_leds[static_cast<size_t>(row) * m_width + col] =
                record.lit(col, row, m_width, m_height);
    m_showing = {Showing::FirstPage, static_cast<int>(image.records.size()), 0, false, {}};
}

void CVirtualSignWindow::showAnimationSet(const std::vector<uint8_t>& bytes) {
    m_animationSet = bytes;
    // The programs playing take their animations from the new set.
    if (m_playing && playLastImage()) return;
    // The first frame of each animation, side by side from the left, as far as they fit.
    std::fill(m_leds.begin(), m_leds.end(), false);
    const auto set = AnimationSet::parse(bytes);
    if (!set) {
        m_showing = {Showing::DamagedSet, 0, 0, false, {}};
        return;
    }
    const int h = set->height;
    int left = 0;
    for (const auto& animation : set->blocks) {
        if (animation.frames.empty() || left >= m_width) continue;
        for (int row = 0; row < std::min(h, m_height); ++row)
            for (int col = 0; col < h && left + col < m_width; ++col)
                m_leds[static_cast<size_t>(row) * m_width + left + col] =
                    AnimationSet::lit(animation.frames.front(), h, col, row);
        left += h + 1;
    }
    m_showing = {Showing::Frames, static_cast<int>(set->blocks.size()), h, false,
                 platform::utf8ToUtf16(set->problem)};
}

void CVirtualSignWindow::togglePlug() {
    if (m_signs.isPresent(m_sign))
        m_signs.unplug(m_sign);
    else
        m_signs.plugIn(m_sign);
    refreshPresence();
}

void CVirtualSignWindow::refreshPresence() {
    const bool present = m_signs.isPresent(m_sign);
    const bool changed = present != m_present || m_plug->text().isEmpty();
    const bool wasPresent = m_present;
    m_present = present;
    m_plug->setText(present ? text(u"VSignUnplug") : text(u"VSignPlugIn"));
    if (!changed) return;
    // A pulled sign has no power; plugged in again it plays what it holds from the start.
    if (!present && m_playing) {
        stopPlaying();
        m_resumeOnPlug = true;
    } else if (present && !wasPresent && m_resumeOnPlug) {
        m_resumeOnPlug = false;
        playLastImage();
    }
    refreshStatus();
    update(ledArea());
}

void CVirtualSignWindow::refreshStatus() {
    using platform::format;
    std::u16string status = blockCount() == 0
                                ? format(m_texts.text(u"VSignNothingYet"), {m_width, m_height})
                                : format(m_texts.text(u"VSignStatus"),
                                         {m_width, m_height, showingText(), blockCount()});
    if (!m_present) status = format(m_texts.text(u"VSignUnplugged"), {status});
    m_status->setText(platform::toQString(status));
}

std::u16string CVirtualSignWindow::showingText() const {
    using platform::format;
    const std::u16string& problem = m_showing.problem;
    std::u16string t;
    switch (m_showing.what) {
        case Showing::Dark:
            t = m_texts.text(u"VSignDark");
            break;
        case Showing::Playing:
            t = format(m_showing.withSet ? m_texts.text(u"VSignPlayingWithSet")
                                         : m_texts.text(u"VSignPlaying"),
                       {m_showing.count});
            break;
        case Showing::TestPattern:
            t = format(m_texts.text(u"VSignTestPattern"), {m_showing.count});
            break;
        case Showing::OtherSize:
            t = m_texts.text(u"VSignOtherSize");
            break;
        case Showing::DamagedImage:
            t = format(m_texts.text(u"VSignDamagedImage"), {problem});
            break;
        case Showing::FirstPage:
            t = format(m_texts.text(u"VSignFirstPage"), {m_showing.count});
            break;
        case Showing::DamagedSet:
            t = m_texts.text(u"VSignDamagedSet");
            break;
        case Showing::Frames:
            t = format(m_texts.text(u"VSignFrames"), {m_showing.count, m_showing.rows});
            if (!problem.empty()) t = format(m_texts.text(u"VSignDamaged"), {t, problem});
            break;
    }
    return t;
}

// The kinds as the language's list names them, in the link's order 0 … 6.
QString CVirtualSignWindow::kindName(uint8_t kind) const {
    const QStringList names = text(u"VSignKinds").split(QLatin1Char('|'));
    if (kind < names.size() && kind <= signlink::KIND_FIRMWARE_DATA) return names[kind];
    return platform::toQString(platform::format(m_texts.text(u"VSignKind"), {int(kind)}));
}

QString CVirtualSignWindow::text(std::u16string_view key) const {
    return platform::toQString(m_texts.text(key));
}

void CVirtualSignWindow::retranslate() {
    setWindowTitle(platform::toQString(
        platform::format(m_texts.text(u"VSignTitle"), {m_sign + 1, m_width, m_height})));
    m_blocks->setHeaderLabels(text(u"VSignColumns").split(QLatin1Char('|')));
    for (int k = 0; k < m_blocks->topLevelItemCount(); ++k) {
        QTreeWidgetItem* item = m_blocks->topLevelItem(k);
        item->setText(1, kindName(static_cast<uint8_t>(item->data(1, Qt::UserRole).toUInt())));
        item->setText(4, platform::toQString(platform::format(
                             m_texts.text(u"VSignMs"),
                             {static_cast<long long>(item->data(4, Qt::UserRole).toLongLong())})));
    }
    m_plug->setText(m_present ? text(u"VSignUnplug") : text(u"VSignPlugIn"));
    refreshStatus();
}

QRect CVirtualSignWindow::ledArea() const {
    return {0, 0, width(), m_ledAreaHeight};
}

void CVirtualSignWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(ledArea(), QColor(18, 18, 18));
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const int left = std::max(kMargin, (width() - m_width * kLedPitch) / 2);
    for (int row = 0; row < m_height; ++row)
        for (int col = 0; col < m_width; ++col) {
            const bool on = m_leds[static_cast<size_t>(row) * m_width + col];
            // A pulled sign has no power: its LEDs show grey.
            if (m_present)
                p.setBrush(on ? QColor(255, 48, 32) : QColor(60, 22, 20));
            else
                p.setBrush(on ? QColor(110, 110, 110) : QColor(48, 48, 48));
            p.drawEllipse(QRectF(left + col * kLedPitch + 0.5, kMargin + row * kLedPitch + 0.5,
                                 kLedPitch - 1.5, kLedPitch - 1.5));
        }
}
