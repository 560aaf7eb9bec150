#pragma once

#include "preview/PreviewFrame.h"

#include <QImage>
#include <QWidget>

// The emulated sign's LEDs: one round LED per sign pixel in a cell of 10 × 10
// screen pixels, lit red or dark, on black behind a grid. The panel is exactly
// width·cell × height·cell.
class LedPanel : public QWidget {
public:
    static constexpr int kCell = 10;
    static constexpr int kInset = 1;  // the LED inside its cell, and the grid's pen width
    static constexpr QRgb kLit = 0xFFFF0000;
    static constexpr QRgb kDark = 0xFF121200;
    static constexpr QRgb kGrid = 0xFF202020;
    // A sign's geometry code carries no more than this either way.
    static constexpr int kMaxSide = 255;

    explicit LedPanel(QWidget* parent = nullptr);

    // Every LED dark; the panel takes the sign's size.
    void setSignSize(int width, int height);
    int signWidth() const { return m_frame.width; }
    int signHeight() const { return m_frame.height; }
    // A frame of another size than the sign's is not shown. Repaints only when it differs.
    void showFrame(const PreviewFrame& frame);
    const PreviewFrame& frame() const { return m_frame; }

    static PreviewFrame darkFrame(int width, int height);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PreviewFrame m_frame;
    QImage m_litCell;
    QImage m_darkCell;
};
