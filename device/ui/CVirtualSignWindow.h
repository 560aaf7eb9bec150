#pragma once

#include "device/sim/SimulatedSign.h"
#include "platform/HidBackend.h"

#include <QWidget>

#include <memory>

class QLabel;
class QPushButton;
class QTreeWidget;

// A small window for one simulated sign: its size, what it shows (the first
// page of the last device image it received), every block it received, and a
// button that pulls the sign out or plugs it in again.
class CVirtualSignWindow : public QWidget {
    Q_OBJECT
public:
    CVirtualSignWindow(SimulatedSign& signs, int sign, QWidget* parent = nullptr);
    ~CVirtualSignWindow() override;

    // Safe from any thread: the block is shown on the window's thread.
    void blockReceived(const SimulatedSign::Block& block);
    int blockCount() const;
    // As the window shows it; follows the sign however it was pulled or plugged in.
    bool showsPresent() const { return m_present; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void addBlock(const SimulatedSign::Block& block);
    void togglePlug();
    void refreshPresence();
    void refreshStatus();
    QRect ledArea() const;

    SimulatedSign& m_signs;
    int m_sign;
    int m_width;
    int m_height;
    bool m_present = true;
    std::vector<bool> m_leds;  // row by row; all dark until an image arrives
    QString m_showing;
    QTreeWidget* m_blocks = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_plug = nullptr;
    int m_ledAreaHeight = 0;
    std::unique_ptr<platform::HidWatch> m_watch;
};
