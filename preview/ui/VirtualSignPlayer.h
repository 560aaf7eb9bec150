#pragma once

#include "device/ui/CVirtualSignWindow.h"
#include "platform/Clock.h"
#include "preview/PreviewPlayer.h"
#include "preview/ui/FrameMailbox.h"

#include <QObject>

#include <memory>

// Plays a virtual sign's content with the emulated sign's engine on real time,
// and shows its frames in the sign's window when they change.
class VirtualSignPlayer : public CVirtualSignWindow::Player {
public:
    explicit VirtualSignPlayer(CVirtualSignWindow& window);
    ~VirtualSignPlayer() override;

    void play(std::vector<uint8_t> image, std::vector<uint8_t> animationSet,
              int temperature) override;
    void stop() override;

private:
    void frameArrived(const PreviewFrame& frame);
    void showNewestFrame();

    CVirtualSignWindow& m_window;
    platform::SteadyClock m_clock;
    // Words from the refresher go through this, on the window's thread, and
    // are dropped once the player has gone.
    QObject m_receiver;
    FrameMailbox m_mailbox;
    std::unique_ptr<PreviewPlayer> m_player;
};
