#pragma once

#include "app/SignCommands.h"
#include "app/SignOptions.h"
#include "device/DeviceTable.h"
#include "device/LinkProtocol.h"
#include "device/sim/SimulatedSign.h"
#include "platform/Clock.h"
#include "platform/HidBackend.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

// The sign the command line talks to: simulated ones when asked for, else the
// real ones on USB; a progress line on a terminal.
class SignSession final : public SignCommands::SignLink, private signlink::LinkObserver {
public:
    // False with `error` set when the report log cannot be opened.
    bool open(const SignOptions& options, std::string& error);

    int transfer(std::span<const uint8_t> block, uint8_t kind,
                 std::vector<uint8_t>* reply) override;
    int signWidth() const override { return m_width; }
    int signHeight() const override { return m_height; }

    // What each virtual sign received, for a person.
    std::vector<std::string> virtualSignSummary() const;
    // What the last firmware request's reply said (the window's timers in a
    // console): ready, not ready yet, or to be written by the flash tool.
    bool firmwareReady() const { return m_firmwareReady; }
    bool firmwareNotReady() const { return m_notReady; }
    bool flashToolAsked() const { return m_flashTool; }
    void clearFirmwareAnswer() {
        m_notReady = false;
        m_flashTool = false;
    }

    // For sending to every sign at once; valid after open().
    DeviceTable& table() { return *m_table; }
    platform::Clock& clock() { return m_clock; }

private:
    void setProgressRange(int low, int high) override;
    void setProgressStep(int) override {}
    void setProgressPos(int pos) override;
    void setSignSize(int width, int height) override;
    void setFirmwareReady(bool ready) override { m_firmwareReady = ready; }
    void startTimer(int id, int) override {
        m_notReady = m_notReady || id == signlink::TIMER_FIRMWARE_PROGRESS;
        m_flashTool = m_flashTool || id == signlink::TIMER_FLASH_TOOL;
    }
    void postFirmwareReady() override {}
    void endProgressLine();

    platform::SteadyClock m_clock;
    std::unique_ptr<platform::HidBackend> m_backend;
    SimulatedSign* m_simulated = nullptr;
    std::unique_ptr<DeviceTable> m_table;
    bool m_firmwareReady = false;
    bool m_notReady = false;
    bool m_flashTool = false;
    int m_width = 0;
    int m_height = 0;
    int m_packets = 0;
    bool m_terminal = false;
    bool m_lineOpen = false;
};
