#include "preview/ui/LedPanel.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

namespace {

// A black cell with a filled ellipse from (inset, inset) to (cell − inset, cell − inset).
QImage cellImage(QRgb led) {
    QImage cell(LedPanel::kCell, LedPanel::kCell, QImage::Format_RGB32);
    cell.fill(Qt::black);
    QPainter p(&cell);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor::fromRgb(led));
    p.drawEllipse(QRect(LedPanel::kInset, LedPanel::kInset, LedPanel::kCell - 2 * LedPanel::kInset,
                        LedPanel::kCell - 2 * LedPanel::kInset));
    return cell;
}

}  // namespace

LedPanel::LedPanel(QWidget* parent)
    : QWidget(parent), m_litCell(cellImage(kLit)), m_darkCell(cellImage(kDark)) {
    // Every pixel is painted; nothing of the parent shows through.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSignSize(48, 12);
}

PreviewFrame LedPanel::darkFrame(int width, int height) {
    PreviewFrame frame;
    frame.width = std::clamp(width, 0, kMaxSide);
    frame.height = std::clamp(height, 0, kMaxSide);
    frame.lit.assign(static_cast<size_t>(frame.width) * frame.height, false);
    return frame;
}

void LedPanel::setSignSize(int width, int height) {
    m_frame = darkFrame(width, height);
    setFixedSize(m_frame.width * kCell, m_frame.height * kCell);
    update();
}

void LedPanel::showFrame(const PreviewFrame& frame) {
    if (frame.width != m_frame.width || frame.height != m_frame.height ||
        frame.lit.size() != m_frame.lit.size() || frame == m_frame)
        return;
    m_frame = frame;
    update();
}

void LedPanel::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    const QRect area = event->rect();
    const int x0 = std::max(0, area.left() / kCell);
    const int y0 = std::max(0, area.top() / kCell);
    const int x1 = std::min(m_frame.width - 1, area.right() / kCell);
    const int y1 = std::min(m_frame.height - 1, area.bottom() / kCell);
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            p.drawImage(x * kCell, y * kCell, m_frame.at(x, y) ? m_litCell : m_darkCell);

    p.setPen(QPen(QColor::fromRgb(kGrid), kInset));
    const int right = m_frame.width * kCell;
    const int bottom = m_frame.height * kCell;
    for (int i = 0; i <= m_frame.height; ++i)
        p.drawLine(0, i * kCell, right, i * kCell);
    for (int i = 0; i <= m_frame.width; ++i)
        p.drawLine(i * kCell, 0, i * kCell, bottom);
}
