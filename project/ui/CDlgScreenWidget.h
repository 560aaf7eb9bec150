#pragma once

#include "project/CDlgScreen.h"

#include <QWidget>

class QLabel;

// The screen panel: the selected screen's size, name and number of programs,
// as CDlgScreen holds them.
class CDlgScreenWidget : public QWidget, public CDlgScreen::View {
    Q_OBJECT
public:
    explicit CDlgScreenWidget(const CDlgScreen& panel, QWidget* parent = nullptr);

    void refresh() override;

private:
    const CDlgScreen& m_panel;
    QLabel* m_widthLabel = nullptr;
    QLabel* m_widthValue = nullptr;
    QLabel* m_heightLabel = nullptr;
    QLabel* m_heightValue = nullptr;
    QLabel* m_nameLabel = nullptr;
    QLabel* m_nameValue = nullptr;
    QLabel* m_programCountLabel = nullptr;
    QLabel* m_programCountValue = nullptr;
};
