#include "device/sim/SimulatedSign.h"

#include "device/LinkProtocol.h"

#include <algorithm>
#include <cstdio>
#include <deque>

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
};

struct QueuedReply {
    platform::Clock::TimePoint readyAt;
    std::vector<uint8_t> report;
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
};

}  // namespace

struct SimulatedSign::State {
    explicit State(platform::Clock& c) : clock(c) {}
    platform::Clock& clock;
    mutable std::mutex mutex;
    std::vector<Sign> signs;
    std::function<void(int, const Block&)> listener;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> reportLog{nullptr, &std::fclose};
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
    auto queue = [&](std::vector<uint8_t> reply) {
        sealReply(reply);
        sign.replies.push_back(
            {now + sign.config.writeDelay + sign.config.replyDelay, std::move(reply)});
    };
    sign.reports.emplace_back(report, report + std::min(length, size_t{4096}));
    if (state.reportLog) {
        static const char digits[] = "0123456789abcdef";
        std::string line;
        line.reserve(length * 2 + 1);
        for (size_t k = 0; k < length; ++k) {
            line += digits[report[k] >> 4];
            line += digits[report[k] & 15];
        }
        line += '\n';
        std::fputs(line.c_str(), state.reportLog.get());
        std::fflush(state.reportLog.get());
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
    if (!answer.dropReply) queue(std::move(reply));
    return out;
}

void unplugLocked(Sign& sign) {
    if (!sign.present) return;
    sign.present = false;
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
                unplugLocked(s);
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
    std::lock_guard lock(m_state->mutex);
    for (auto& s : m_state->signs)
        unplugLocked(s);
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
    if (sign >= 0 && sign < static_cast<int>(m_state->signs.size()))
        unplugLocked(m_state->signs[sign]);
}

void SimulatedSign::plugIn(int sign) {
    std::lock_guard lock(m_state->mutex);
    if (sign >= 0 && sign < static_cast<int>(m_state->signs.size()))
        m_state->signs[sign].present = true;
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

bool SimulatedSign::setReportLog(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "a");
    std::lock_guard lock(m_state->mutex);
    m_state->reportLog.reset(file);
    return file != nullptr;
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
        info.portAddress = static_cast<int32_t>(k) + 1;
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
