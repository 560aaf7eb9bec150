#include "content/ui/CDlgProgramWidget.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

CDlgProgramWidget::CDlgProgramWidget(CDlgProgram& editor, QWidget* parent)
    : QWidget(parent), m_editor(editor) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    m_name = new QLabel(this);
    QFont heading = m_name->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.15);
    m_name->setFont(heading);
    m_name->setTextFormat(Qt::PlainText);
    layout->addWidget(m_name);

    m_text = new QPlainTextEdit(this);
    m_text->setTabChangesFocus(true);
    layout->addWidget(m_text, 1);

    connect(m_text, &QPlainTextEdit::textChanged, this, [this] {
        if (m_filling) return;
        // Lines are kept with CR LF, as program texts are stored everywhere else.
        QString text = m_text->toPlainText();
        text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
        m_editor.setText(text.toStdU16String());
    });
    refresh();
}

CDlgProgramWidget::~CDlgProgramWidget() {
    // The text box goes after this body and must not report its end as typing.
    m_text->blockSignals(true);
}

void CDlgProgramWidget::refresh() {
    m_name->setText(QString::fromStdU16String(m_editor.name()));
    // Texts written on Windows end their lines with CR LF; the box shows plain lines.
    QString text = QString::fromStdU16String(m_editor.text());
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    // Only a different text replaces the box's, so the cursor stays where it is otherwise.
    if (m_text->toPlainText() != text) {
        m_filling = true;
        m_text->setPlainText(text);
        m_filling = false;
    }
}
