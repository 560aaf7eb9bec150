#include "device/ui/CVirtualSignWindow.h"

#include "device/DeviceImageReader.h"
#include "device/LinkProtocol.h"

#include <QHeaderView>
#include <QLabel>
#include <QMetaObject>
#include <QPainter>
#include <QTime>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>

namespace {

constexpr int kLedPitch = 7;
constexpr int kMargin = 10;

QString kindName(uint8_t kind) {
    switch (kind) {
        case signlink::KIND_DEVICE_IMAGE:
            return QStringLiteral("device image");
        case signlink::KIND_TEST_PATTERN:
            return QStringLiteral("test pattern");
        case signlink::KIND_ANIMATION_SET:
            return QStringLiteral("animation set");
        case signlink::KIND_GEOMETRY_QUERY:
            return QStringLiteral("geometry query");
        case signlink::KIND_COMMAND_BYTE:
            return QStringLiteral("command byte");
        case signlink::KIND_FIRMWARE_REQUEST:
            return QStringLiteral("firmware request");
        case signlink::KIND_FIRMWARE_DATA:
            return QStringLiteral("firmware data");
        default:
            return QStringLiteral("kind %1").arg(kind);
    }
}

}  // namespace

CVirtualSignWindow::CVirtualSignWindow(int sign, int width, int height, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_sign(sign),
      m_width(width),
      m_height(height),
      m_leds(static_cast<size_t>(width) * height, false) {
    setObjectName(QStringLiteral("virtualSign%1").arg(sign));
    // A sign window alone never keeps the program running once the main window has closed.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(
        QStringLiteral("Virtual sign %1 \u2014 %2 \u00d7 %3").arg(sign + 1).arg(width).arg(height));
    m_ledAreaHeight = height * kLedPitch + 2 * kMargin;
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kMargin, m_ledAreaHeight, kMargin, kMargin);
    m_status = new QLabel(
        QStringLiteral("%1 \u00d7 %2 LEDs, nothing received yet").arg(width).arg(height), this);
    layout->addWidget(m_status);
    m_blocks = new QTreeWidget(this);
    m_blocks->setRootIsDecorated(false);
    m_blocks->setHeaderLabels({QStringLiteral("Time"), QStringLiteral("Kind"),
                               QStringLiteral("Bytes"), QStringLiteral("Packets"),
                               QStringLiteral("Took")});
    m_blocks->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(m_blocks);
    resize(std::max(width * kLedPitch + 2 * kMargin, 420), m_ledAreaHeight + 200);
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
    auto* item =
        new QTreeWidgetItem({QTime::currentTime().toString(QStringLiteral("HH:mm:ss")),
                             kindName(block.kind), QString::number(block.bytes.size()),
                             QString::number(block.packets), QStringLiteral("%1 ms").arg(took)});
    m_blocks->insertTopLevelItem(0, item);

    if (block.kind == signlink::KIND_DEVICE_IMAGE) {
        const std::string_view bytes(reinterpret_cast<const char*>(block.bytes.data()),
                                     block.bytes.size());
        const DeviceImageReader::Image image = DeviceImageReader::read(bytes);
        std::fill(m_leds.begin(), m_leds.end(), false);
        if (!image.records.empty() && image.width == m_width && image.height == m_height) {
            const auto& record = image.records.front();
            for (int row = 0; row < m_height; ++row)
                for (int col = 0; col < m_width; ++col)
                    m_leds[static_cast<size_t>(row) * m_width + col] =
                        record.lit(col, row, m_width, m_height);
            m_showing = QStringLiteral("showing the first page of %1 program%2")
                            .arg(image.records.size())
                            .arg(image.records.size() == 1 ? "" : "s");
        } else {
            m_showing = image.problem.empty() ? QStringLiteral("an image for another size")
                                              : QStringLiteral("a damaged image: %1")
                                                    .arg(QString::fromStdString(image.problem));
        }
    } else if (block.kind == signlink::KIND_TEST_PATTERN && block.bytes.size() == 1) {
        const uint8_t pattern = block.bytes[0];
        for (int row = 0; row < m_height; ++row)
            for (int col = 0; col < m_width; ++col) {
                bool on = pattern == 2 || (pattern == 3 && (col + row) % 4 == 0) ||
                          (pattern == 4 && (col - row + 4 * m_height) % 4 == 0);
                m_leds[static_cast<size_t>(row) * m_width + col] = on;
            }
        m_showing = QStringLiteral("test pattern %1").arg(pattern);
    }
    m_status->setText(QStringLiteral("%1 \u00d7 %2 LEDs, %3; %4 block%5 received")
                          .arg(m_width)
                          .arg(m_height)
                          .arg(m_showing.isEmpty() ? QStringLiteral("dark") : m_showing)
                          .arg(blockCount())
                          .arg(blockCount() == 1 ? "" : "s"));
    update(ledArea());
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
            p.setBrush(on ? QColor(255, 48, 32) : QColor(60, 22, 20));
            p.drawEllipse(QRectF(left + col * kLedPitch + 0.5, kMargin + row * kLedPitch + 0.5,
                                 kLedPitch - 1.5, kLedPitch - 1.5));
        }
}
