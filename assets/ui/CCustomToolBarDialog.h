#pragma once

#include "assets/CCustomToolBar.h"

#include <QDialog>

#include <map>
#include <string>

class QLabel;
class QLineEdit;
class QTableWidget;
class QTimer;

// The Qt face of the custom toolbar dialog.
class CCustomToolBarDialog : public QDialog, public CCustomToolBar::View {
    Q_OBJECT
public:
    // OK runs dlg.onOK() with the fields; a file it could not write leaves its
    // reason in `error`.
    CCustomToolBarDialog(CCustomToolBar& dlg, std::string* error, const QString& title,
                         QWidget* parent = nullptr);
    ~CCustomToolBarDialog() override;

    void setControlText(int id, const std::u16string& text) override;
    void setColumnTitles(const std::u16string (&titles)[CCustomToolBar::COLUMN_COUNT]) override;
    void showRows() override;
    void selectRow(int row) override;
    void showPreview(const std::filesystem::path& image) override;
    std::optional<std::filesystem::path> chooseImage() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fitColumnTitles();
    void selectionEdited();
    void pathClicked(int row);
    void ok();

    CCustomToolBar& m_dlg;
    std::string* m_error;
    QTableWidget* m_list = nullptr;
    QLabel* m_preview = nullptr;
    std::map<int, QWidget*> m_controls;
    // A click on the Path cell of a row that was already selected opens the
    // file dialog once the double-click time has passed without a second click.
    QTimer* m_pathClick = nullptr;
    int m_pathRow = -1;
    bool m_pressOnSelected = false;
    bool m_filling = false;
};
