#pragma once

#include "platform/Clock.h"
#include "preview/PreviewPlayer.h"
#include "preview/ui/FrameMailbox.h"

#include <QFrame>
#include <QPoint>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class LedPanel;
class QLabel;

// The preview window: a small window inside the main window's preview view
// with a caption (the name of the program playing) above the emulated sign's
// LEDs. It owns the player; the player's refresher hands it frames from its
// own thread, and the window repaints only when a frame differs from the one
// shown. The left button drags it about inside the view.
class CPreviewDlg : public QFrame {
    Q_OBJECT
public:
    // Plays on `clock`, or on a steady clock of its own without one.
    explicit CPreviewDlg(QWidget* parent = nullptr, platform::Clock* clock = nullptr);
    // Stops the player first.
    ~CPreviewDlg() override;

    // Stops the player (it has ended when this returns), takes the size of the
    // image's sign (48 × 12 unlit LEDs for an image too short to play) and
    // starts a new player. `names` are the image's programs in table order.
    void restart(std::vector<uint8_t> image, std::vector<uint8_t> animationSet, int temperature,
                 std::vector<std::u16string> names);
    bool playing() const { return m_player != nullptr; }

    // Safe from any thread: the refresher's frame, shown later on the window's thread.
    void frameArrived(const PreviewFrame& frame);

    LedPanel& leds() const { return *m_leds; }
    QString caption() const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showNewestFrame();
    void programStarted(uint64_t generation, int index);
    void setCaption(const QString& text);
    // Centred in the view until the user has moved it, then kept inside it.
    void placeInView();

    std::unique_ptr<platform::Clock> m_ownClock;
    platform::Clock& m_clock;
    QLabel* m_caption = nullptr;
    LedPanel* m_leds = nullptr;
    FrameMailbox m_mailbox;
    std::unique_ptr<PreviewPlayer> m_player;
    std::vector<std::u16string> m_names;
    // Counts restarts, so a word from a player that has gone is not taken for the new one's.
    uint64_t m_generation = 0;
    std::optional<QPoint> m_dragOffset;
    bool m_movedByUser = false;
};
