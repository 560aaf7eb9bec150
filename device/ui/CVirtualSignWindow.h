#pragma once

#include "device/sim/SimulatedSign.h"

#include <QWidget>

class QLabel;
class QTreeWidget;

// A small window for one simulated sign: its size, what it shows (the first
// page of the last device image it received) and every block it received.
class CVirtualSignWindow : public QWidget {
    Q_OBJECT
public:
    CVirtualSignWindow(int sign, int width, int height, QWidget* parent = nullptr);

    // Safe from any thread: the block is shown on the window's thread.
    void blockReceived(const SimulatedSign::Block& block);
    int blockCount() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void addBlock(const SimulatedSign::Block& block);
    QRect ledArea() const;

    int m_sign;
    int m_width;
    int m_height;
    std::vector<bool> m_leds;  // row by row; all dark until an image arrives
    QString m_showing;
    QTreeWidget* m_blocks = nullptr;
    QLabel* m_status = nullptr;
    int m_ledAreaHeight = 0;
};
