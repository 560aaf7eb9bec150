#include "preview/ui/VirtualSignPlayer.h"

#include "preview/ui/LedPanel.h"

#include <QMetaObject>

#include <utility>

VirtualSignPlayer::VirtualSignPlayer(CVirtualSignWindow& window) : m_window(window) {
    m_receiver.moveToThread(window.thread());
}

VirtualSignPlayer::~VirtualSignPlayer() {
    stop();
}

void VirtualSignPlayer::play(std::vector<uint8_t> image, std::vector<uint8_t> animationSet,
                             int temperature) {
    stop();
    PreviewPlayer::Callbacks callbacks;
    callbacks.frame = [this](const PreviewFrame& frame) { frameArrived(frame); };
    m_player = std::make_unique<PreviewPlayer>(m_clock, std::move(image), std::move(animationSet),
                                               PreviewPlayer::Options{temperature, 0},
                                               std::move(callbacks));
    m_mailbox.reset(LedPanel::darkFrame(m_player->width(), m_player->height()));
    if (m_player->playable())
        m_player->start();
    else
        m_player.reset();
}

void VirtualSignPlayer::stop() {
    m_player.reset();
}

void VirtualSignPlayer::frameArrived(const PreviewFrame& frame) {
    if (m_mailbox.put(frame))
        QMetaObject::invokeMethod(
            &m_receiver, [this] { showNewestFrame(); }, Qt::QueuedConnection);
}

void VirtualSignPlayer::showNewestFrame() {
    if (const auto frame = m_mailbox.take())
        m_window.showLeds(frame->width, frame->height, frame->lit);
}
