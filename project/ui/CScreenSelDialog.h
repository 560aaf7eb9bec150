#pragma once

#include "platform/ImageCodec.h"
#include "project/CScreenSel.h"

#include <QAbstractButton>
#include <QDialog>
#include <QElapsedTimer>
#include <QImage>
#include <QTimer>

#include <vector>

class QScrollBar;

// One sign type: its picture, animated, and a frame when it is the chosen one.
class CScreenPictureButton : public QAbstractButton {
    Q_OBJECT
public:
    struct Frame {
        QImage image;
        int ms = 0;  // how long it shows
    };
    CScreenPictureButton(int number, std::vector<Frame> frames, QString caption, QWidget* parent);

    int number() const { return m_number; }
    int frameIndex() const { return m_frame; }
    int frameCount() const { return static_cast<int>(m_frames.size()); }
    void setSelected(bool selected);
    bool selected() const { return m_selected; }
    // Moves on to the next picture when this one's time is up.
    void tick(int elapsedMs);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_number;
    std::vector<Frame> m_frames;
    QString m_caption;
    int m_frame = 0;
    int m_shownMs = 0;
    bool m_selected = false;
};

// The scrolling column of picture buttons.
class CQVIBGDlg : public QWidget {
    Q_OBJECT
public:
    CQVIBGDlg(CScreenSel& dlg, platform::ImageCodec& codec, QWidget* parent = nullptr);

    const std::vector<CScreenPictureButton*>& buttons() const { return m_buttons; }
    QScrollBar* scrollBar() const { return m_scroll; }
    void markSelected();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void layOut();
    void tick();

    CScreenSel& m_dlg;
    std::vector<CScreenPictureButton*> m_buttons;
    QScrollBar* m_scroll = nullptr;
    QWidget* m_content = nullptr;
    // The window system's timer drives the animation; it dies with the list.
    QTimer m_animation;
    QElapsedTimer m_clock;
    int m_wheelRemainder = 0;
};

// The screen size dialog.
class CScreenSelDialog : public QDialog {
    Q_OBJECT
public:
    CScreenSelDialog(CScreenSel& dlg, platform::ImageCodec& codec, QWidget* parent = nullptr);
    CQVIBGDlg* list() const { return m_list; }

private:
    CQVIBGDlg* m_list = nullptr;
};
