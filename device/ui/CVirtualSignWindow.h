#pragma once

#include "device/sim/SimulatedSign.h"
#include "platform/HidBackend.h"
#include "platform/TextLookup.h"

#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;

// A small window for one simulated sign: its size, what it shows, every block
// it received, and a button that pulls the sign out or plugs it in again. With
// a Player it plays the last device image with the last animation set as the
// sign would; without one it shows the image's first page.
class CVirtualSignWindow : public QWidget {
    Q_OBJECT
public:
    // Plays what the sign received and hands the window its LEDs through showLeds().
    class Player {
    public:
        virtual ~Player() = default;
        // Plays from the start; the image is for the sign's size.
        virtual void play(std::vector<uint8_t> image, std::vector<uint8_t> animationSet,
                          int temperature) = 0;
        // Returns once playing has stopped.
        virtual void stop() = 0;
    };

    // Its texts come from `texts`, which must outlive it; retranslate() after a switch.
    CVirtualSignWindow(SimulatedSign& signs, int sign, const platform::TextLookup& texts,
                       QWidget* parent = nullptr);
    // Stops the player first.
    ~CVirtualSignWindow() override;

    void setPlayer(std::unique_ptr<Player> player);
    // The player's LEDs, row by row, on the window's thread; taken only while
    // it plays and when they are for the sign's size.
    void showLeds(int width, int height, const std::vector<bool>& lit);
    bool isPlaying() const { return m_playing; }
    int signWidth() const { return m_width; }
    int signHeight() const { return m_height; }
    // What the sign shows now, row by row.
    const std::vector<bool>& leds() const { return m_leds; }

    // Safe from any thread: the block is shown on the window's thread.
    void blockReceived(const SimulatedSign::Block& block);
    int blockCount() const;
    // As the window shows it; follows the sign however it was pulled or plugged in.
    bool showsPresent() const { return m_present; }
    // Every text again in the language now in use.
    void retranslate();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void addBlock(const SimulatedSign::Block& block);
    void showImage(const std::vector<uint8_t>& bytes);
    void showAnimationSet(const std::vector<uint8_t>& bytes);
    // Plays the last image with the last set again; false when there is nothing to play.
    bool playLastImage();
    void stopPlaying();
    void togglePlug();
    void refreshPresence();
    void refreshStatus();
    std::u16string showingText() const;
    QString kindName(uint8_t kind) const;
    QString text(std::u16string_view key) const;
    QRect ledArea() const;

    // What the LEDs show, kept as facts so that a new language can word it.
    struct Showing {
        enum What {
            Dark,
            Playing,
            TestPattern,
            OtherSize,
            DamagedImage,
            FirstPage,
            DamagedSet,
            Frames
        } what = Dark;
        int count = 0;  // programs, animations or the pattern
        int rows = 0;
        bool withSet = false;
        std::u16string problem;
    };

    SimulatedSign& m_signs;
    int m_sign;
    const platform::TextLookup& m_texts;
    int m_width;
    int m_height;
    bool m_present = true;
    std::vector<bool> m_leds;  // row by row; all dark until an image arrives
    Showing m_showing;
    QTreeWidget* m_blocks = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_plug = nullptr;
    int m_ledAreaHeight = 0;
    std::unique_ptr<platform::HidWatch> m_watch;
    std::unique_ptr<Player> m_player;
    bool m_playing = false;
    bool m_resumeOnPlug = false;
    // The last device image that fits the sign and the last animation set, as received.
    std::vector<uint8_t> m_image;
    std::vector<uint8_t> m_animationSet;
    int m_temperature = 16;
    size_t m_programs = 0;
};
