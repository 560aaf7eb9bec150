// Arbitrary bytes as a sign on the other end of the link: the report lengths
// its capabilities give, and for every report how the transfer goes (at once,
// later, never, failing, a broken wait) and what each reply holds. The single-
// sign transfer, the geometry query and Send, and the batch transfer, size
// query and firmware request all run against it on virtual time. Results are
// the link's codes, sizes taken from replies are ones a sign can have,
// progress never runs backwards or past its total, and no transfer leaves
// anything running on the sign when it returns.
#include "app/SignCommands.h"
#include "batch/SignTransfer.h"
#include "device/DeviceTable.h"
#include "device/LinkProtocol.h"
#include "platform/Clock.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace {

using namespace std::chrono_literals;

// The input, read byte by byte; zeros once it is used up (then every report
// completes at once with an all-zero reply, which ends every transfer).
class Script {
public:
    Script(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    uint8_t next() { return m_at < m_size ? m_data[m_at++] : 0; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
};

// The leading bytes of a reply report: report id, magic, length, count,
// number, kind, status, first, second, and a little more.
constexpr size_t kReplyBytes = 14;

class ScriptedHandle : public platform::HidHandle {
public:
    ScriptedHandle(Script& script, platform::Clock& clock, bool reading,
                   std::optional<platform::HidCapabilities> caps, int& running)
        : m_script(script), m_clock(clock), m_reading(reading), m_caps(caps), m_running(running) {}
    ~ScriptedHandle() override { cancel(); }

    std::optional<platform::HidCapabilities> capabilities() override { return m_caps; }
    void setInputBuffers(int) override {}

    platform::HidIo start(uint8_t* buffer, size_t length, platform::WaitEvent* event) override {
        cancel();
        const uint8_t action = m_script.next();
        std::array<uint8_t, kReplyBytes> reply{};
        if (m_reading)
            for (uint8_t& b : reply)
                b = m_script.next();
        switch (action % 6) {
            case 0:
            case 5:
                if (m_reading) fill(buffer, length, reply);
                return platform::HidIo::Completed;
            case 1:
                if (!event) {
                    if (m_reading) fill(buffer, length, reply);
                    return platform::HidIo::Completed;
                }
                begin(event);
                event->armAt(m_clock.now() + std::chrono::milliseconds(1 + action / 6),
                             [this, buffer, length, reply] {
                                 if (m_reading) fill(buffer, length, reply);
                                 m_done = true;
                             });
                return platform::HidIo::Pending;
            case 2:
                begin(event);
                return platform::HidIo::Pending;
            case 3:
                return platform::HidIo::Failed;
            default:
                begin(event);
                if (event) event->breakNextWait();
                return platform::HidIo::Pending;
        }
    }
    platform::HidIo result() override {
        if (!m_pending) return platform::HidIo::Failed;
        return m_done ? platform::HidIo::Completed : platform::HidIo::Pending;
    }
    void cancel() override {
        if (m_event) m_event->disarm();
        m_event = nullptr;
        if (m_pending) --m_running;
        m_pending = false;
        m_done = false;
    }

private:
    void begin(platform::WaitEvent* event) {
        m_pending = true;
        ++m_running;
        m_event = event;
    }
    static void fill(uint8_t* buffer, size_t length,
                     const std::array<uint8_t, kReplyBytes>& reply) {
        std::memset(buffer, 0, length);
        std::memcpy(buffer, reply.data(), std::min(length, reply.size()));
    }

    Script& m_script;
    platform::Clock& m_clock;
    bool m_reading;
    std::optional<platform::HidCapabilities> m_caps;
    int& m_running;
    platform::WaitEvent* m_event = nullptr;
    bool m_pending = false;
    bool m_done = false;
};

class ScriptedSign : public platform::HidBackend {
public:
    ScriptedSign(Script& script, platform::Clock& clock) : m_script(script), m_clock(clock) {
        static const uint16_t lengths[] = {0, 1, 2, 9, 13, 64, 65, 65, 66, 200, 1024, 65535};
        const uint8_t which = script.next();
        if (which != 0xFF)
            m_caps = platform::HidCapabilities{lengths[which % 12], lengths[which / 12 % 12]};
    }
    // Transfers under way on the sign's handles.
    int running = 0;

    std::vector<platform::HidDeviceInfo> enumerate() override {
        return {{signlink::kSignVendorId, signlink::kSignProductId, "fuzz-sign", "", 1}};
    }
    std::unique_ptr<platform::HidHandle> open(const std::string&,
                                              platform::HidAccess access) override {
        return std::make_unique<ScriptedHandle>(
            m_script, m_clock, access == platform::HidAccess::Read, m_caps, running);
    }
    std::optional<platform::HidDiskInfo> findDisk(const std::string&) override {
        return std::nullopt;
    }

private:
    Script& m_script;
    platform::Clock& m_clock;
    std::optional<platform::HidCapabilities> m_caps;
};

class Observer : public signlink::LinkObserver {
public:
    int width = 0, height = 0;
    void setProgressRange(int low, int high) override {
        if (low > high + 1) std::abort();
    }
    void setProgressStep(int) override {}
    void setProgressPos(int pos) override {
        if (pos < 0) std::abort();
    }
    void setSignSize(int w, int h) override {
        if (w < 0 || w > 255 || h < 0 || h > 255) std::abort();
        width = w;
        height = h;
    }
    void setFirmwareReady(bool) override {}
    void startTimer(int id, int ms) override {
        if (ms <= 0 ||
            (id != signlink::TIMER_FIRMWARE_POLL && id != signlink::TIMER_FIRMWARE_PROGRESS &&
             id != signlink::TIMER_FLASH_TOOL))
            std::abort();
    }
    void postFirmwareReady() override {}
};

class Link : public SignCommands::SignLink {
public:
    Link(DeviceTable& table, platform::Clock& clock, Observer& observer)
        : m_table(table), m_clock(clock), m_observer(observer) {}
    int transfer(std::span<const uint8_t> block, uint8_t kind,
                 std::vector<uint8_t>* reply) override {
        const size_t before = reply ? reply->size() : 0;
        const int code =
            signlink::singleSignTransfer(m_table, m_clock, m_observer, block, kind, reply);
        if (code < signlink::TRANSFER_OK || code > signlink::TRANSFER_PACKET_FAILED) std::abort();
        if (reply) {
            const bool replied =
                code == signlink::TRANSFER_OK || code == signlink::TRANSFER_PACKET_FAILED;
            if (reply->size() != before + (replied ? signlink::kPacketSize : 0)) std::abort();
        }
        return code;
    }
    int signWidth() const override { return m_observer.width; }
    int signHeight() const override { return m_observer.height; }

private:
    DeviceTable& m_table;
    platform::Clock& m_clock;
    Observer& m_observer;
};

void checkIdle(const ScriptedSign& sign) {
    if (sign.running != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Script script(data, size);
    platform::VirtualClock clock;
    ScriptedSign sign(script, clock);
    DeviceTable table(sign);
    Observer observer;
    Link link(table, clock, observer);

    if (const auto geometry = SignCommands::queryGeometry(link)) {
        if (geometry->first < 1 || geometry->first > 255 || geometry->second < 1 ||
            geometry->second > 127)
            std::abort();
    }
    checkIdle(sign);

    ScreenRecord screen;
    screen.width = 48;
    screen.height = 12;
    int builds = 0;
    const auto out = SignCommands::sendScreen(link, &screen, [&] {
        ++builds;
        // Only a sign of the screen's size gets the image (its size may change
        // afterwards with the replies to the image's own packets).
        if (observer.width != 48 || observer.height != 12) std::abort();
        DeviceImage::Built built;
        built.bytes.assign(120, '\x5A');
        built.names = {u"p"};
        return built;
    });
    checkIdle(sign);
    if (builds != (out.step == SignCommands::SendOutcome::Step::Sent ? 1 : 0)) std::abort();

    const uint8_t request[] = {0x00};
    link.transfer(request, signlink::KIND_FIRMWARE_REQUEST, nullptr);
    checkIdle(sign);

    // The batch side, on an entry a worker holds.
    if (table.searchSigns(signlink::kSignVendorId, signlink::kSignProductId) == 0) std::abort();
    // The sign's own key: the highest, never the alias 0.
    DeviceTable::EntryPtr entry = table.acquire(table.keys().back());
    if (!entry || table.keys().back() == 0) std::abort();
    const std::atomic<bool> running{true};
    if (const auto size = batch::querySignSize(table, *entry, clock, running)) {
        if (size->width < 1 || size->width > 255 || size->height < 1 || size->height > 255)
            std::abort();
    }
    checkIdle(sign);

    const std::vector<uint8_t> block(150, 0xA5);
    uint32_t lastDone = 0, calls = 0;
    const int code = batch::sendToSign(
        table, *entry, clock, running, block, signlink::KIND_DEVICE_IMAGE,
        [&](uint32_t done, uint32_t total) {
            if (total != signlink::packetCount(block.size()) || done > total || done < lastDone)
                std::abort();
            lastDone = done;
            ++calls;
        });
    checkIdle(sign);
    if (code != signlink::TRANSFER_OK && code != signlink::TRANSFER_OPEN_FAILED &&
        code != signlink::TRANSFER_PACKET_FAILED && code != batch::kTransferStopped)
        std::abort();
    if (code == signlink::TRANSFER_OK && lastDone != signlink::packetCount(block.size()))
        std::abort();

    int ticks = 0;
    batch::firmwareRequest(table, *entry, clock, running, [&] { ++ticks; });
    checkIdle(sign);
    return 0;
}
