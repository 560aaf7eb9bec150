#include "project/ui/CDlgScreenWidget.h"

#include "platform/qt/QtText.h"

#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

CDlgScreenWidget::CDlgScreenWidget(const CDlgScreen& panel, QWidget* parent)
    : QWidget(parent), m_panel(panel) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* group = new QGroupBox(this);
    auto* form = new QFormLayout(group);
    form->setContentsMargins(16, 14, 16, 14);
    form->setHorizontalSpacing(24);
    form->setVerticalSpacing(10);
    form->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);

    // The numbers come padded to three places; a fixed-pitch font keeps them aligned.
    const QFont digits = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    auto addRow = [&](QLabel*& label, QLabel*& value, bool fixedPitch) {
        label = new QLabel(group);
        value = new QLabel(group);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        if (fixedPitch) value->setFont(digits);
        form->addRow(label, value);
    };
    addRow(m_nameLabel, m_nameValue, false);
    addRow(m_widthLabel, m_widthValue, true);
    addRow(m_heightLabel, m_heightValue, true);
    addRow(m_programCountLabel, m_programCountValue, true);

    outer->addWidget(group);
    outer->addStretch(1);
    refresh();
}

void CDlgScreenWidget::refresh() {
    m_widthLabel->setText(platform::toQString(m_panel.widthLabel()));
    m_heightLabel->setText(platform::toQString(m_panel.heightLabel()));
    m_nameLabel->setText(platform::toQString(m_panel.nameLabel()));
    m_programCountLabel->setText(platform::toQString(m_panel.programCountLabel()));
    m_widthValue->setText(platform::toQString(m_panel.widthText()));
    m_heightValue->setText(platform::toQString(m_panel.heightText()));
    m_nameValue->setText(platform::toQString(m_panel.name()));
    m_programCountValue->setText(platform::toQString(m_panel.programCountText()));
}
