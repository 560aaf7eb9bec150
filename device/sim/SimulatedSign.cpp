#include "device/sim/SimulatedSign.h"

#include "device/LinkProtocol.h"
#include "platform/FileCopy.h"

#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <system_error>
#include <thread>

using platform::HidIo;

namespace {

struct Op {
    bool reading = false;
    uint8_t* buffer = nullptr;
    size_t length = 0;
    platform::WaitEvent* event = nullptr;
    std::optional<platform::Clock::TimePoint> doneAt;  // none: not yet known or never
    std::vector<uint8_t> reply;
    bool hasReply = false;
    bool done = false;
    bool failed = false;
    bool cancelled = false;
    bool breakWait = false;
};

struct QueuedReply {
    platform::Clock::TimePoint readyAt;
    std::vector<uint8_t> report;
    bool breakWait = false;  // the wait of the read that gets it fails
};

struct Assembly {
    bool active = false;
    uint8_t kind = 0;
    uint16_t length16 = 0;
    uint32_t count = 0;
    uint32_t lastNumber = 0;
    SimulatedSign::Block block;
};

struct Sign {
    SimulatedSign::Config config;
    bool present = true;
    int generation = 0;
    std::deque<QueuedReply> replies;
    std::shared_ptr<Op> waitingRead;
    std::vector<std::weak_ptr<Op>> ops;
    Assembly assembly;
    // The header and number of the packet before, for PacketInfo::receipt.
    std::array<uint8_t, 9> lastHeader{};
    int lastReceipt = 0;
    std::vector<SimulatedSign::Block> blocks;
    std::vector<std::vector<uint8_t>> reports;
    SimulatedSign::Stats stats;
    std::shared_ptr<std::FILE> reportLog;  // shared by the signs when they log to one file
    std::string reportLogPath;
};

struct WatchSlot {
    platform::HidHotplugListener listener;
    uint64_t from = 0;     // the first event it hears of
    bool gone = false;     // its watch was destroyed
    bool calling = false;  // its listener runs now
};

// Hands hot-plug events to the watches on a thread of its own, so that no
// listener runs on a caller's thread, inside a write or under a lock of ours.
struct Hotplug {
    std::mutex mutex;
    std::condition_variable wake;  // the dispatcher: an event came, or the end
    std::condition_variable idle;  // a watch's destructor: a call has returned
    std::deque<std::pair<uint64_t, platform::HidHotplugEvent>> events;
    uint64_t next = 0;
    std::vector<std::shared_ptr<WatchSlot>> watches;
    std::thread thread;
    std::thread::id dispatcher;
    bool stopping = false;

    void post(platform::HidHotplugEvent event) {
        std::lock_guard lock(mutex);
        if (stopping || watches.empty()) return;
        events.emplace_back(next++, std::move(event));
        wake.notify_one();
    }

    void run() {
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [&] { return stopping || !events.empty(); });
            if (stopping) return;
            auto [seq, event] = std::move(events.front());
            events.pop_front();
            // The copy keeps each slot, and so its listener, alive while it runs.
            const auto slots = watches;
            for (const auto& slot : slots) {
                if (slot->gone || seq < slot->from) continue;
                slot->calling = true;
                lock.unlock();
                slot->listener(event);
                lock.lock();
                slot->calling = false;
                idle.notify_all();
            }
        }
    }

    void stop() {
        {
            std::lock_guard lock(mutex);
            stopping = true;
            events.clear();
        }
        wake.notify_all();
        if (!thread.joinable()) return;
        // A listener that destroys the signs cannot wait for itself to return.
        if (thread.get_id() == std::this_thread::get_id())
            thread.detach();
        else
            thread.join();
    }
};

class SimWatch final : public platform::HidWatch {
public:
    SimWatch(std::shared_ptr<Hotplug> hotplug, std::shared_ptr<WatchSlot> slot)
        : m_hotplug(std::move(hotplug)), m_slot(std::move(slot)) {}
    ~SimWatch() override {
        std::unique_lock lock(m_hotplug->mutex);
        m_slot->gone = true;
        std::erase(m_hotplug->watches, m_slot);
        // From inside its own listener there is nothing to wait for.
        if (std::this_thread::get_id() != m_hotplug->dispatcher)
            m_hotplug->idle.wait(lock, [&] { return !m_slot->calling; });
    }

private:
    std::shared_ptr<Hotplug> m_hotplug;
    std::shared_ptr<WatchSlot> m_slot;
};

}  // namespace

struct SimulatedSign::State {
    explicit State(platform::Clock& c) : clock(c) {}
    platform::Clock& clock;
    mutable std::mutex mutex;
    std::vector<Sign> signs;
    std::function<void(int, const Block&)> listener;
    std::string reportLogError;
    const std::shared_ptr<Hotplug> hotplug = std::make_shared<Hotplug>();
};

namespace {

using State = SimulatedSign::State;

std::string pathFor(int sign) {
    return "sim:sign" + std::to_string(sign);
}

void complete(Op& op) {
    if (op.done || op.failed || op.cancelled) return;
    if (op.reading && op.hasReply)
        std::copy_n(op.reply.begin(), std::min(op.length, op.reply.size()), op.buffer);
    op.done = true;
}

void arm(const std::shared_ptr<State>& state, const std::shared_ptr<Op>& op) {
    if (!op->event || !op->doneAt) return;
    if (op->breakWait) op->event->breakNextWait();
    std::weak_ptr<State> weak = state;
    op->event->armAt(*op->doneAt, [weak, op] {
        if (auto s = weak.lock()) {
            std::lock_guard lock(s->mutex);
            complete(*op);
        }
    });
}

void giveReply(Op& op, QueuedReply reply) {
    op.reply = std::move(reply.report);
    op.hasReply = true;
    op.doneAt = reply.readyAt;
    op.breakWait = reply.breakWait;
}

std::vector<uint8_t> makeReply(const uint8_t* packet, uint8_t status) {
    signlink::Packet p{};
    std::copy_n(packet, 8, p.begin());
    p[signlink::kReplyKind] = packet[8];
    p[signlink::kReplyStatus] = status;
    p[63] = signlink::kTrailer;
    std::vector<uint8_t> report(signlink::kReportSize, 0);
    std::copy(p.begin(), p.end(), report.begin() + 1);
    return report;
}

void sealReply(std::vector<uint8_t>& report) {
    signlink::Packet p;
    std::copy_n(report.begin() + 1, signlink::kPacketSize, p.begin());
    uint16_t sum = signlink::checksum(p);
    report[1 + 61] = static_cast<uint8_t>(sum >> 8);
    report[1 + 62] = static_cast<uint8_t>(sum);
}

uint32_t get16(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) << 8 | at[1];
}

// A packet as a sign checks it: framing, checksum, count and numbering.
bool framingOk(const uint8_t* report, size_t length) {
    if (length < signlink::kReportSize || report[0] != 0) return false;
    const uint8_t* p = report + 1;
    if (p[0] != signlink::kMagic0 || p[1] != signlink::kMagic1 || p[63] != signlink::kTrailer)
        return false;
    signlink::Packet packet;
    std::copy_n(p, signlink::kPacketSize, packet.begin());
    if (get16(p + 61) != signlink::checksum(packet)) return false;
    uint32_t count = get16(p + 4), number = get16(p + 6);
    return count >= 1 && number >= 1 && number <= count;
}

struct Taken {
    SimulatedSign::Answer answer;
    std::optional<SimulatedSign::Block> finished;
};

// The block's true length: the one value that its packet count allows and whose
// low 16 bits are the length field.
std::optional<size_t> trueLength(uint32_t count, uint16_t length16) {
    size_t high = size_t{count} * signlink::kPayloadSize;
    for (size_t l = high - (signlink::kPayloadSize - 1); l <= high; ++l)
        if ((l & 0xFFFF) == length16) return l;
    return std::nullopt;
}

Taken take(State& state, int index, const uint8_t* report, size_t length) {
    Sign& sign = state.signs[index];
    auto now = state.clock.now();
    Taken out;
    auto queue = [&](std::vector<uint8_t> reply, bool breakWait = false) {
        sealReply(reply);
        sign.replies.push_back(
            {now + sign.config.writeDelay + sign.config.replyDelay, std::move(reply), breakWait});
    };
    sign.reports.emplace_back(report, report + std::min(length, size_t{4096}));
    if (sign.reportLog) {
        static const char digits[] = "0123456789abcdef";
        std::string line;
        line.reserve(length * 2 + 1);
        for (size_t k = 0; k < length; ++k) {
            line += digits[report[k] >> 4];
            line += digits[report[k] & 15];
        }
        line += '\n';
        std::FILE* file = sign.reportLog.get();
        const bool written = std::fputs(line.c_str(), file) != EOF && std::fflush(file) == 0;
        if (!written && state.reportLogError.empty())
            state.reportLogError = "cannot write to the report log " + sign.reportLogPath;
    }
    if (!framingOk(report, length)) {
        ++sign.stats.packetsRejected;
        out.answer.status = SimulatedSign::kStatusBadPacket;
        if (length >= signlink::kReportSize) queue(makeReply(report + 1, out.answer.status));
        return out;
    }
    const uint8_t* p = report + 1;
    SimulatedSign::PacketInfo info;
    info.kind = p[8];
    info.count = get16(p + 4);
    info.number = get16(p + 6);
    info.packetsSoFar = sign.stats.packetsTaken;
    std::array<uint8_t, 9> header;
    std::copy_n(p, 9, header.begin());
    info.receipt = header == sign.lastHeader ? sign.lastReceipt + 1 : 1;
    sign.lastHeader = header;
    sign.lastReceipt = info.receipt;

    SimulatedSign::Answer answer;
    if (auto it = sign.config.statusByKind.find(info.kind); it != sign.config.statusByKind.end())
        answer.status = it->second;
    if (sign.config.script) answer = sign.config.script(info);
    out.answer = answer;
    if (answer.stallWrite) return out;
    ++sign.stats.packetsTaken;
    if (sign.config.unplugAfterPackets > 0 &&
        sign.stats.packetsTaken == sign.config.unplugAfterPackets)
        out.answer.unplugAfter = true;

    std::vector<uint8_t> reply = makeReply(p, answer.status);
    if (answer.status == 0) {
        Assembly& a = sign.assembly;
        uint16_t length16 = static_cast<uint16_t>(get16(p + 2));
        bool same =
            a.active && a.kind == info.kind && a.length16 == length16 && a.count == info.count;
        if (info.number == 1 && !(same && a.lastNumber == 1)) {
            a = Assembly{};
            a.active = true;
            a.kind = info.kind;
            a.length16 = length16;
            a.count = info.count;
            a.block.kind = info.kind;
            a.block.bytes.assign(size_t{info.count} * signlink::kPayloadSize, 0);
            a.block.started = now;
        } else if (!same || (info.number != a.lastNumber + 1 && info.number != a.lastNumber)) {
            ++sign.stats.packetsRejected;
            out.answer.status = SimulatedSign::kStatusOutOfOrder;
            reply[1 + signlink::kReplyStatus] = out.answer.status;
            if (!answer.dropReply) queue(std::move(reply));
            return out;
        }
        std::copy_n(p + signlink::kPayloadOffset, signlink::kPayloadSize,
                    a.block.bytes.begin() + size_t{info.number - 1} * signlink::kPayloadSize);
        a.lastNumber = info.number;
        ++a.block.packets;
        if (info.number == a.count) {
            a.active = false;
            auto l = trueLength(a.count, a.length16);
            if (!l) {
                ++sign.stats.packetsRejected;
                out.answer.status = SimulatedSign::kStatusBadLength;
                reply[1 + signlink::kReplyStatus] = out.answer.status;
            } else {
                a.block.bytes.resize(*l);
                a.block.finished = now;
                const auto& bytes = a.block.bytes;
                uint8_t* r = reply.data() + 1;
                if (a.kind == signlink::KIND_GEOMETRY_QUERY && !bytes.empty()) {
                    int w = sign.config.width, h = sign.config.height;
                    if (bytes[0] == 0x30) {
                        r[10] = static_cast<uint8_t>(w);
                        r[11] = static_cast<uint8_t>(h);
                    } else if (bytes[0] == 0x00) {
                        r[9] = static_cast<uint8_t>(w >> 8);
                        r[10] = static_cast<uint8_t>(w);
                        r[11] = static_cast<uint8_t>(h >> 8);
                        r[12] = static_cast<uint8_t>(h);
                    }
                } else if (a.kind == signlink::KIND_FIRMWARE_REQUEST) {
                    ++sign.stats.firmwareRequests;
                    if (sign.stats.firmwareRequests <= sign.config.firmware.busyAnswers) {
                        r[9] = 8;
                        r[10] = sign.config.firmware.viaFlashTool ? 1 : 0;
                    }
                }
                sign.blocks.push_back(a.block);
                out.finished = a.block;
            }
        }
    }
    if (!answer.dropReply) queue(std::move(reply), answer.breakReadWait);
    return out;
}

platform::HidHotplugEvent hotplugEvent(const Sign& sign, int index) {
    platform::HidHotplugEvent event;
    event.path = pathFor(index);
    if (sign.present) {
        event.kind = platform::HidHotplugEvent::Kind::Arrived;
        event.vendorId = sign.config.vendorId;
        event.productId = sign.config.productId;
    } else {
        event.kind = platform::HidHotplugEvent::Kind::Removed;
    }
    return event;
}

// Called with the state's mutex held; the watches hear of it on their own thread.
void unplugLocked(State& state, int index) {
    Sign& sign = state.signs[index];
    if (!sign.present) return;
    sign.present = false;
    state.hotplug->post(hotplugEvent(sign, index));
    ++sign.generation;
    sign.replies.clear();
    sign.waitingRead.reset();
    sign.assembly = Assembly{};
    // What was pending fails, and its waiter wakes up to find out.
    for (auto& weak : sign.ops) {
        auto op = weak.lock();
        if (!op || op->done || op->cancelled) continue;
        op->failed = true;
        if (op->event) {
            op->event->disarm();
            op->event->set();
        }
    }
    sign.ops.clear();
}

class SimHandle final : public platform::HidHandle {
public:
    SimHandle(std::shared_ptr<State> state, int sign, int generation, platform::HidAccess access)
        : m_state(std::move(state)), m_sign(sign), m_generation(generation), m_access(access) {}
    ~SimHandle() override { cancel(); }

    std::optional<platform::HidCapabilities> capabilities() override {
        std::lock_guard lock(m_state->mutex);
        if (!alive()) return std::nullopt;
        return sign().config.capabilities;
    }

    void setInputBuffers(int) override {}

    HidIo start(uint8_t* buffer, size_t length, platform::WaitEvent* event) override {
        std::optional<SimulatedSign::Block> finished;
        HidIo io = startLocked(buffer, length, event, finished);
        if (finished) notify(*finished);
        return io;
    }

    HidIo result() override {
        std::lock_guard lock(m_state->mutex);
        if (!m_op) return HidIo::Failed;
        if (m_op->failed || !alive()) return HidIo::Failed;
        if (!m_op->done && m_op->doneAt && m_state->clock.now() >= *m_op->doneAt) complete(*m_op);
        return m_op->done ? HidIo::Completed : HidIo::Pending;
    }

    void cancel() override {
        std::lock_guard lock(m_state->mutex);
        cancelLocked();
    }

private:
    bool alive() const {
        const Sign& s = m_state->signs[m_sign];
        return s.present && s.generation == m_generation;
    }
    Sign& sign() { return m_state->signs[m_sign]; }

    void cancelLocked() {
        if (!m_op) return;
        if (!m_op->done && !m_op->failed) {
            m_op->cancelled = true;
            if (m_op->event) m_op->event->disarm();
        }
        if (sign().waitingRead == m_op) sign().waitingRead.reset();
        m_op.reset();
    }

    void notify(const SimulatedSign::Block& block) {
        std::function<void(int, const SimulatedSign::Block&)> listener;
        {
            std::lock_guard lock(m_state->mutex);
            listener = m_state->listener;
        }
        if (listener) listener(m_sign, block);
    }

    HidIo startLocked(uint8_t* buffer, size_t length, platform::WaitEvent* event,
                      std::optional<SimulatedSign::Block>& finished) {
        std::lock_guard lock(m_state->mutex);
        cancelLocked();
        if (!alive() || !buffer) return HidIo::Failed;
        Sign& s = sign();
        // The sign's reports are 65 bytes whether or not it tells its capabilities.
        auto caps = s.config.capabilities.value_or(platform::HidCapabilities{65, 65});
        size_t reportLength = m_access == platform::HidAccess::Write ? caps.outputReportLength
                                                                     : caps.inputReportLength;
        if (length == 0 || length != reportLength) return HidIo::Failed;

        std::erase_if(s.ops, [](const std::weak_ptr<Op>& w) {
            auto o = w.lock();
            return !o || o->done || o->failed || o->cancelled;
        });
        auto op = std::make_shared<Op>();
        op->buffer = buffer;
        op->length = length;
        op->event = event;
        auto now = m_state->clock.now();
        if (m_access == platform::HidAccess::Write) {
            Taken taken = take(*m_state, m_sign, buffer, length);
            finished = std::move(taken.finished);
            if (!taken.answer.stallWrite) op->doneAt = now + s.config.writeDelay;
            m_op = op;
            s.ops.push_back(op);
            arm(m_state, op);
            if (taken.answer.breakWait && event) event->breakNextWait();
            // A read that was started before this reply existed gets it now.
            if (s.waitingRead && !s.replies.empty()) {
                auto waiting = std::move(s.waitingRead);
                giveReply(*waiting, std::move(s.replies.front()));
                s.replies.pop_front();
                arm(m_state, waiting);
            }
            if (taken.answer.unplugAfter) {
                // This write still completes; everything after it fails.
                op->done = true;
                if (event) {
                    event->disarm();
                    event->set();
                }
                unplugLocked(*m_state, m_sign);
            }
            return HidIo::Pending;
        }

        op->reading = true;
        m_op = op;
        s.ops.push_back(op);
        if (!s.replies.empty()) {
            QueuedReply reply = std::move(s.replies.front());
            s.replies.pop_front();
            giveReply(*op, std::move(reply));
            if (*op->doneAt <= now) {
                complete(*op);
                return HidIo::Completed;
            }
            arm(m_state, op);
        } else {
            s.waitingRead = op;
        }
        return HidIo::Pending;
    }

    std::shared_ptr<State> m_state;
    int m_sign;
    int m_generation;
    platform::HidAccess m_access;
    std::shared_ptr<Op> m_op;
};

}  // namespace

SimulatedSign::SimulatedSign(platform::Clock& clock) : m_state(std::make_shared<State>(clock)) {}

SimulatedSign::SimulatedSign(platform::Clock& clock, const std::vector<std::pair<int, int>>& sizes)
    : SimulatedSign(clock) {
    for (auto [width, height] : sizes) {
        Config config;
        config.width = width;
        config.height = height;
        addSign(config);
    }
}

SimulatedSign::~SimulatedSign() {
    // Signs that go with us are not reported as pulled.
    m_state->hotplug->stop();
    std::lock_guard lock(m_state->mutex);
    for (size_t k = 0; k < m_state->signs.size(); ++k)
        unplugLocked(*m_state, static_cast<int>(k));
}

int SimulatedSign::addSign(Config config) {
    std::lock_guard lock(m_state->mutex);
    Sign s;
    s.config = std::move(config);
    m_state->signs.push_back(std::move(s));
    return static_cast<int>(m_state->signs.size()) - 1;
}

int SimulatedSign::signCount() const {
    std::lock_guard lock(m_state->mutex);
    return static_cast<int>(m_state->signs.size());
}

void SimulatedSign::unplug(int sign) {
    std::lock_guard lock(m_state->mutex);
    if (sign >= 0 && sign < static_cast<int>(m_state->signs.size())) unplugLocked(*m_state, sign);
}

void SimulatedSign::plugIn(int sign) {
    std::lock_guard lock(m_state->mutex);
    if (sign < 0 || sign >= static_cast<int>(m_state->signs.size())) return;
    Sign& s = m_state->signs[sign];
    if (s.present) return;
    s.present = true;
    m_state->hotplug->post(hotplugEvent(s, sign));
}

bool SimulatedSign::isPresent(int sign) const {
    std::lock_guard lock(m_state->mutex);
    return sign >= 0 && sign < static_cast<int>(m_state->signs.size()) &&
           m_state->signs[sign].present;
}

SimulatedSign::Config SimulatedSign::config(int sign) const {
    std::lock_guard lock(m_state->mutex);
    return m_state->signs.at(sign).config;
}

void SimulatedSign::setConfig(int sign, Config config) {
    std::lock_guard lock(m_state->mutex);
    m_state->signs.at(sign).config = std::move(config);
}

std::string SimulatedSign::pathOf(int sign) const {
    return pathFor(sign);
}

std::vector<SimulatedSign::Block> SimulatedSign::blocks(int sign) const {
    std::lock_guard lock(m_state->mutex);
    return m_state->signs.at(sign).blocks;
}

std::vector<std::vector<uint8_t>> SimulatedSign::reports(int sign) const {
    std::lock_guard lock(m_state->mutex);
    return m_state->signs.at(sign).reports;
}

SimulatedSign::Stats SimulatedSign::stats(int sign) const {
    std::lock_guard lock(m_state->mutex);
    return m_state->signs.at(sign).stats;
}

void SimulatedSign::clearHistory(int sign) {
    std::lock_guard lock(m_state->mutex);
    auto& s = m_state->signs.at(sign);
    s.blocks.clear();
    s.reports.clear();
}

std::optional<std::pair<int, int>> SimulatedSign::parseSize(std::string_view text) {
    auto number = [](std::string_view digits) -> int {
        if (digits.empty() || digits.size() > 3) return -1;
        int n = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') return -1;
            n = n * 10 + (c - '0');
        }
        return n;
    };
    const size_t x = text.find_first_of("xX");
    if (x == std::string_view::npos) return std::nullopt;
    const int width = number(text.substr(0, x)), height = number(text.substr(x + 1));
    if (width < 1 || width > 255 || height < 1 || height > 127) return std::nullopt;
    return std::pair{width, height};
}

bool SimulatedSign::setReportLog(const std::string& path, std::string* failed) {
    auto openLog = [](const std::string& name) {
        return std::shared_ptr<std::FILE>(std::fopen(name.c_str(), "a"), [](std::FILE* file) {
            if (file) std::fclose(file);
        });
    };
    std::lock_guard lock(m_state->mutex);
    auto& signs = m_state->signs;
    std::vector<std::pair<std::shared_ptr<std::FILE>, std::string>> logs;
    if (path.find("%n") == std::string::npos) {
        auto file = openLog(path);
        if (!file)
            logs.emplace_back(nullptr, path);
        else
            logs.assign(signs.size(), {file, path});
    } else {
        for (size_t k = 0; k < signs.size(); ++k) {
            std::string name = path;
            const std::string number = std::to_string(k + 1);
            for (size_t at = name.find("%n"); at != std::string::npos;
                 at = name.find("%n", at + number.size()))
                name.replace(at, 2, number);
            logs.emplace_back(openLog(name), name);
        }
    }
    for (auto& [file, name] : logs)
        if (!file) {
            if (failed) *failed = name;
            for (auto& s : signs)
                s.reportLog.reset();
            return false;
        }
    for (size_t k = 0; k < signs.size(); ++k) {
        signs[k].reportLog = logs[k].first;
        signs[k].reportLogPath = logs[k].second;
    }
    return true;
}

std::string SimulatedSign::reportLogError() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->reportLogError;
}

void SimulatedSign::setBlockListener(std::function<void(int, const Block&)> listener) {
    std::lock_guard lock(m_state->mutex);
    m_state->listener = std::move(listener);
}

std::vector<platform::HidDeviceInfo> SimulatedSign::enumerate() {
    std::lock_guard lock(m_state->mutex);
    std::vector<platform::HidDeviceInfo> out;
    for (size_t k = 0; k < m_state->signs.size(); ++k) {
        const Sign& s = m_state->signs[k];
        if (!s.present) continue;
        platform::HidDeviceInfo info;
        info.vendorId = s.config.vendorId;
        info.productId = s.config.productId;
        info.path = pathFor(static_cast<int>(k));
        info.containerId = "sim:device" + std::to_string(k);
        info.portAddress = s.config.portAddress.value_or(static_cast<int32_t>(k) + 1);
        out.push_back(std::move(info));
    }
    return out;
}

std::unique_ptr<platform::HidHandle> SimulatedSign::open(const std::string& path,
                                                         platform::HidAccess access) {
    std::lock_guard lock(m_state->mutex);
    for (size_t k = 0; k < m_state->signs.size(); ++k) {
        const Sign& s = m_state->signs[k];
        if (pathFor(static_cast<int>(k)) != path) continue;
        if (!s.present || !s.config.openable) return nullptr;
        return std::make_unique<SimHandle>(m_state, static_cast<int>(k), s.generation, access);
    }
    return nullptr;
}

std::optional<platform::HidDiskInfo> SimulatedSign::findDisk(const std::string& containerId) {
    std::lock_guard lock(m_state->mutex);
    for (size_t k = 0; k < m_state->signs.size(); ++k) {
        const Sign& s = m_state->signs[k];
        if (s.present && "sim:device" + std::to_string(k) == containerId) return s.config.disk;
    }
    return std::nullopt;
}

std::unique_ptr<platform::HidWatch> SimulatedSign::watch(platform::HidHotplugListener listener) {
    if (!listener) return nullptr;
    const std::shared_ptr<Hotplug>& hotplug = m_state->hotplug;
    auto slot = std::make_shared<WatchSlot>();
    slot->listener = std::move(listener);
    std::lock_guard lock(hotplug->mutex);
    if (hotplug->stopping) return nullptr;
    slot->from = hotplug->next;
    hotplug->watches.push_back(slot);
    if (!hotplug->thread.joinable()) {
        hotplug->thread = std::thread([hotplug] { hotplug->run(); });
        hotplug->dispatcher = hotplug->thread.get_id();
    }
    return std::make_unique<SimWatch>(hotplug, std::move(slot));
}

namespace {

// All of `text` as a decimal number from 0 to `max`; no sign, no spaces.
std::optional<int> boundedNumber(std::string_view text, int max) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < 0 || value > max)
        return std::nullopt;
    return value;
}

}  // namespace

std::optional<SimulatedSign::Config> SimulatedSign::parseVirtualSign(std::string_view text,
                                                                     std::string& error) {
    const size_t colon = text.find(':');
    const std::string_view sizeText = text.substr(0, colon);
    const auto size = parseSize(sizeText);
    if (!size) {
        error = "'" + std::string(sizeText) + "' is not a sign size such as 48x12 (1-255 x 1-127)";
        return std::nullopt;
    }
    Config config;
    config.width = size->first;
    config.height = size->second;
    if (colon == std::string_view::npos) return config;

    bool delaySet = false, portSet = false, unplugSet = false, firmwareSet = false, diskSet = false;
    auto once = [&](bool& set, std::string_view name) {
        if (set) error = std::string(name) + " is given twice";
        const bool first = !set;
        set = true;
        return first;
    };
    std::string_view rest = text.substr(colon + 1);
    for (;;) {
        const size_t comma = rest.find(',');
        const std::string_view option = rest.substr(0, comma);
        const size_t equals = option.find('=');
        const std::string_view name = option.substr(0, equals);
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view() : option.substr(equals + 1);
        const std::string quoted = "'" + std::string(option) + "'";
        if (option.empty()) {
            error = "an empty option (options are separated by single commas)";
            return std::nullopt;
        }
        if (equals == std::string_view::npos) {
            error = quoted + " has no value: options are NAME=VALUE";
            return std::nullopt;
        }
        if (name == "delay") {
            if (!once(delaySet, "delay")) return std::nullopt;
            const auto ms = boundedNumber(value, kMaxDelayMs);
            if (!ms) {
                error = quoted + ": the reply delay is 0 to 60000 ms";
                return std::nullopt;
            }
            config.replyDelay = std::chrono::milliseconds(*ms);
        } else if (name == "port") {
            if (!once(portSet, "port")) return std::nullopt;
            const auto port = value == "none" ? std::optional<int>(-1) : boundedNumber(value, 255);
            if (!port) {
                error = quoted + ": the port address is 0 to 255, or none";
                return std::nullopt;
            }
            config.portAddress = *port;
        } else if (name == "status") {
            const size_t split = value.find(':');
            const auto kind = boundedNumber(value.substr(0, split), 255);
            const auto status = split == std::string_view::npos
                                    ? std::nullopt
                                    : boundedNumber(value.substr(split + 1), 255);
            if (!kind || !status) {
                error = quoted + ": status is KIND:STATUS, each 0 to 255";
                return std::nullopt;
            }
            if (!config.statusByKind
                     .emplace(static_cast<uint8_t>(*kind), static_cast<uint8_t>(*status))
                     .second) {
                error = quoted + ": kind " + std::to_string(*kind) + " already has a status";
                return std::nullopt;
            }
        } else if (name == "unplug") {
            if (!once(unplugSet, "unplug")) return std::nullopt;
            const auto packets = boundedNumber(value, kMaxUnplugPackets);
            if (!packets || *packets < 1) {
                error = quoted + ": unplug takes a packet count from 1 to " +
                        std::to_string(kMaxUnplugPackets);
                return std::nullopt;
            }
            config.unplugAfterPackets = *packets;
        } else if (name == "firmware") {
            if (!once(firmwareSet, "firmware")) return std::nullopt;
            if (value == "ready") {
                config.firmware = Firmware{};
            } else if (value == "flashtool") {
                config.firmware.busyAnswers = kAlwaysBusy;
                config.firmware.viaFlashTool = true;
            } else if (auto busy = value.starts_with("later:")
                                       ? boundedNumber(value.substr(6), kMaxBusyAnswers)
                                       : std::nullopt) {
                config.firmware.busyAnswers = *busy;
                config.firmware.viaFlashTool = false;
            } else {
                error = quoted + ": firmware is ready, later:N (N 0 to " +
                        std::to_string(kMaxBusyAnswers) + ") or flashtool";
                return std::nullopt;
            }
        } else if (name == "disk") {
            if (!once(diskSet, "disk")) return std::nullopt;
            namespace fs = std::filesystem;
            std::error_code ec;
            fs::path dir = value.empty() ? fs::path() : fs::absolute(fs::path(value), ec);
            dir = dir.lexically_normal();
            if (!dir.has_filename() && dir.has_parent_path() && dir != dir.root_path())
                dir = dir.parent_path();  // no trailing separator: file names are appended
            if (value.empty() || ec || !fs::is_directory(dir, ec)) {
                error = quoted + ": the disk must be an existing folder";
                return std::nullopt;
            }
            // A software copy empties a sign's disk first: never the whole file
            // system, nor the home folder or a folder that holds it.
            if (platform::isProtectedFolder(dir)) {
                error = quoted +
                        ": the root folder, the home folder or one that holds it "
                        "cannot stand for a sign's disk";
                return std::nullopt;
            }
            platform::HidDiskInfo disk;
            disk.diskPath = "sim:disk:" + dir.string();
            disk.volumeName = "sim:volume:" + dir.string();
            disk.rootPath = dir.string();
            disk.removable = true;
            config.disk = std::move(disk);
        } else {
            error = "unknown option " + quoted +
                    " (delay, port, status, unplug, firmware and disk are known)";
            return std::nullopt;
        }
        if (comma == std::string_view::npos) break;
        rest = rest.substr(comma + 1);
    }
    return config;
}

bool SimulatedSign::isOwnDisk(const std::string& devicePath, const platform::HidDiskInfo& disk) {
    std::lock_guard lock(m_state->mutex);
    for (size_t k = 0; k < m_state->signs.size(); ++k) {
        const Sign& s = m_state->signs[k];
        if (pathFor(static_cast<int>(k)) != devicePath) continue;
        if (!s.present || !s.config.ownDisk || !s.config.disk || !s.config.disk->removable ||
            disk.rootPath.empty() || s.config.disk->rootPath != disk.rootPath ||
            platform::isProtectedFolder(disk.rootPath))
            return false;
        // Still a real folder, not a link put in its place.
        std::error_code ec;
        return std::filesystem::symlink_status(disk.rootPath, ec).type() ==
               std::filesystem::file_type::directory;
    }
    return false;
}
