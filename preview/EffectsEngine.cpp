#include "preview/EffectsEngine.h"

#include "assets/AnimationSet.h"
#include "content/DeviceImageLayout.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

namespace preview {

using namespace std::chrono_literals;
using Plane = FrameMemory::Plane;

namespace {

constexpr uint8_t kSnowMasks[4] = {0x09, 0x22, 0x84, 0x50};
// The wait after effect 0's single step.
constexpr uint32_t kShowAtOnceWait = 20;
// Every tick past this many runs the animation tick; fewer while the display is blank.
constexpr uint8_t kTicksPerAnimationTick = 40;
constexpr uint8_t kBlankTicksPerAnimationTick = 20;
constexpr uint8_t kHighestBorder = 14;

}  // namespace

EffectsEngine::EffectsEngine(FrameMemory& frame, const SignMemory& memory, platform::Clock& clock,
                             std::stop_token stop, uint32_t seed, Hooks hooks)
    : m_frame(frame),
      m_memory(memory),
      m_clock(clock),
      m_stop(std::move(stop)),
      m_hooks(std::move(hooks)),
      m_random(seed) {}

// Both in 16 bits as the sign computes them; a speed byte cannot overflow them.
uint16_t EffectsEngine::movingDelay(uint8_t speed) {
    return static_cast<uint16_t>((speed + 2) * 20);
}

uint16_t EffectsEngine::revealingDelay(uint8_t speed) {
    return static_cast<uint16_t>((speed + 25) * 20);
}

// --- reading the record -----------------------------------------------------------------

bool EffectsEngine::readProgram(size_t record, Program& p) {
    using namespace ImageLayout;
    if (!m_memory.has(record, kTemperatureOffset + 4)) return false;
    p.effect = *m_memory.u8(record + kEffect);
    p.speed = *m_memory.u8(record + kSpeed);
    p.stopMs = *m_memory.u8(record + kStopTime) * 1000u;
    p.flicker = *m_memory.u8(record + kFlicker) != 0;
    p.border = *m_memory.u8(record + kBorder);
    const uint8_t borderSpeed = *m_memory.u8(record + kBorderSpeed);
    const uint32_t bitmapOffset = *m_memory.u32(record + kBitmapOffset);
    const uint32_t animationOffset = *m_memory.u32(record + kAnimationOffset);
    const uint32_t temperatureOffset = *m_memory.u32(record + kTemperatureOffset);

    if (p.border == 1) p.border = static_cast<uint8_t>(m_random() % 13 + 2);
    // A kind the sign does not know draws nothing, so it keeps no ring either.
    if (p.border > kHighestBorder) p.border = 0;
    m_frame.border.store(p.border);
    m_frame.borderSpeed.store(borderSpeed);
    m_frame.flicker.store(p.flicker);

    p.pages = 0;
    p.pageBytes = static_cast<size_t>((m_width + 7) / 8) * m_height;
    const auto bitmap = SignMemory::add(record, bitmapOffset);
    if (bitmap && m_memory.has(*bitmap, kBitmapHeaderSize)) {
        const uint16_t blockLength = *m_memory.u16(*bitmap + kBitmapLength);
        const uint16_t columns = *m_memory.u16(*bitmap + kBitmapColumns);
        const size_t dataBytes =
            blockLength >= kBitmapHeaderSize ? blockLength - kBitmapHeaderSize : 0;
        p.pageData = *bitmap + kBitmapHeaderSize;
        // Only whole pages that the block and the memory both hold.
        const size_t inMemory = m_memory.size() - std::min(m_memory.size(), p.pageData);
        p.pages = static_cast<int>(std::min({static_cast<size_t>(columns / m_width),
                                             dataBytes / p.pageBytes, inMemory / p.pageBytes}));
    }
    p.animations = {};
    if (animationOffset != 0) {
        if (const auto at = SignMemory::add(record, animationOffset))
            p.animations = readAnimationTable(*at);
    }
    p.temperature = {};
    if (temperatureOffset != 0) {
        if (const auto at = SignMemory::add(record, temperatureOffset))
            p.temperature = readTemperature(*at);
    }
    return true;
}

EffectsEngine::AnimationTable EffectsEngine::readAnimationTable(size_t at) const {
    using namespace ImageLayout;
    AnimationTable table;
    if (!m_memory.has(at, kAnimationHeaderSize)) return table;
    table.size = *m_memory.u8(at + kPlaceholderSize);
    // The sign keeps a frame counter for 20 placeholders and no more.
    const size_t count = std::min<size_t>(*m_memory.u8(at + kAnimationCount), kMaxPlaceholders);
    for (size_t k = 0; k < count; ++k) {
        const size_t entry = at + kAnimationHeaderSize + kAnimationEntrySize * k;
        if (!m_memory.has(entry, kAnimationEntrySize)) break;
        table.entries.push_back(
            resolveAnimation(*m_memory.u16(entry), *m_memory.u8(entry + 2), table.size));
    }
    return table;
}

EffectsEngine::Placeholder EffectsEngine::resolveAnimation(int column, uint8_t number,
                                                           int size) const {
    Placeholder p;
    p.column = column;
    if (size <= 0) return p;
    const size_t set = m_memory.imageLength();
    const auto blocks = m_memory.u8(set + 4);
    if (!blocks || number >= *blocks) return p;
    const auto offset = m_memory.u32(set + AnimationSet::kHeaderSize + 4 * size_t{number});
    if (!offset) return p;
    const auto block = SignMemory::add(set, *offset);
    if (!block || *block >= kAnimationLimit) return p;
    const auto length = m_memory.u16(*block);
    const auto frameCount = m_memory.u8(*block + 2);
    if (!length || !frameCount || *frameCount == 0) return p;
    const size_t frameSize = *length / *frameCount;
    if (frameSize == 0 || frameSize % static_cast<size_t>(size) != 0) return p;
    const size_t frames = *block + AnimationSet::kBlockHeaderSize;
    if (!m_memory.has(frames, frameSize * *frameCount)) return p;
    p.drawable = true;
    p.frames = frames;
    p.frameSize = frameSize;
    p.frameCount = *frameCount;
    return p;
}

EffectsEngine::Temperature EffectsEngine::readTemperature(size_t at) const {
    using namespace ImageLayout;
    Temperature t;
    if (!m_memory.has(at, kTemperatureHeaderSize)) return t;
    t.present = true;
    t.block = at;
    t.fieldWidth = *m_memory.u8(at + kFieldWidth);
    t.fieldColumn = *m_memory.u16(at + kFieldColumn);
    t.unit = *m_memory.u8(at + kUnit);
    t.minusWidth = *m_memory.u8(at + kMinusWidth);
    const uint16_t minusLength = *m_memory.u16(at + kMinusLength);
    t.minusBytes = minusLength > 5 ? minusLength - 5u : 0;
    t.digitCell = *m_memory.u8(at + kDigitCell);
    const uint16_t digitLength = *m_memory.u16(at + kLargestDigit);
    t.digitBytes = digitLength > 5 ? digitLength - 5u : 0;
    t.minusOffset = *m_memory.u16(at + kMinusOffset);
    for (size_t d = 0; d < 10; ++d)
        t.digitOffsets[d] = *m_memory.u16(at + kDigitOffsets + 2 * d);
    return t;
}

// --- the program and its pages ----------------------------------------------------------

EffectsEngine::Outcome EffectsEngine::playProgram(size_t record) {
    m_width = m_frame.visibleWidth();
    m_height = m_frame.height();
    if (m_stop.stop_requested()) return Outcome::Stopped;
    if (!readProgram(record, m_program)) return Outcome::Skipped;
    m_counters.fill(0);
    m_drawn.fill(false);
    m_hasPreviousPage = false;
    const int pages = m_program.pages;
    if (pages == 0) return Outcome::Skipped;
    try {
        for (int n = 0; n < pages; ++n) {
            // Effect 4 brings the pages in from the last to the first.
            const int page = m_program.effect == 4 ? pages - 1 - n : n;
            playPage(page);
            m_hasPreviousPage = true;
            m_previousPageStart = m_pageStart;
        }
    } catch (const Stopped&) {
        return Outcome::Stopped;
    }
    m_previousProgram.valid = true;
    m_previousProgram.table = m_program.animations;
    m_previousProgram.pageStart = m_previousPageStart;
    m_previousProgram.counters = m_counters;
    return Outcome::Played;
}

void EffectsEngine::playPage(int page) {
    m_page = page;
    m_pageStart = page * m_width;
    loadPage(page);
    if (m_program.temperature.present) drawTemperature();
    runEffect();
}

void EffectsEngine::loadPage(int page) {
    const uint8_t* bytes = m_memory.bytes(
        m_program.pageData + static_cast<size_t>(page) * m_program.pageBytes, m_program.pageBytes);
    if (!bytes) return;  // cannot happen: the page count allows for it
    const int groups = (m_width + 7) / 8;
    for (int g = 0; g < groups; ++g)
        for (int r = 0; r < m_height; ++r)
            m_frame.row(Plane::Load, r)[g] = bytes[static_cast<size_t>(g) * m_height + r];
}

void EffectsEngine::drawTemperature() {
    const Temperature& t = m_program.temperature;
    // Far enough out for any sign; the field shows two digits anyway.
    const long long celsius = std::clamp(m_frame.temperature.load(), -10000, 10000);
    long long v = t.unit == 1 ? 32 + celsius * 18 / 10 : celsius;
    const bool negative = v < 0;
    v = std::llabs(v);

    const int column = t.fieldColumn - m_pageStart;
    // A field before the page that does not reach into it, or after it, leaves it alone.
    if (column < 0 && column + t.fieldWidth <= 0) return;
    if (column >= m_width) return;
    int c = column;
    if (negative) drawGlyph(t.minusOffset, t.minusBytes, t.minusWidth, c);
    c += t.minusWidth;
    drawGlyph(t.digitOffsets[static_cast<size_t>(v % 100 / 10)], t.digitBytes, t.digitCell, c);
    c += t.digitCell;
    drawGlyph(t.digitOffsets[static_cast<size_t>(v % 10)], t.digitBytes, t.digitCell, c);
}

void EffectsEngine::drawGlyph(uint16_t offset, size_t byteCount, int cellWidth, int column) {
    // Offset 0 marks a glyph that could not be made.
    if (offset == 0) return;
    const size_t at = m_program.temperature.block + offset;
    const size_t count = std::min(byteCount, m_memory.size() - std::min(m_memory.size(), at));
    const uint8_t* bytes = m_memory.bytes(at, count);
    if (!bytes) return;
    const int groups = (cellWidth + 7) / 8;
    for (int g = 0; g < groups; ++g) {
        for (int r = 0; r < m_height; ++r) {
            const size_t k = static_cast<size_t>(g) * m_height + r;
            if (k >= count) return;
            for (int b = 7; b >= 0; --b) {
                const int j = 8 * g + 7 - b;
                const int x = column + j;
                if (j >= cellWidth || x < 0 || x >= m_width) continue;
                m_frame.setLit(Plane::Load, x, r, (bytes[k] >> b & 1) == 0);
            }
        }
    }
}

// --- the effects ------------------------------------------------------------------------

void EffectsEngine::copyRow(int y) {
    std::memcpy(m_frame.row(Plane::Work, y), m_frame.row(Plane::Load, y),
                static_cast<size_t>(m_frame.rowBytes()));
}

void EffectsEngine::copyColumn(int fromX, int toX) {
    for (int y = 0; y < m_height; ++y)
        m_frame.setLit(Plane::Work, toX, y, m_frame.lit(Plane::Load, fromX, y));
}

void EffectsEngine::snowStep(int j, int k) {
    const int H = m_height;
    const size_t bytes = static_cast<size_t>(m_frame.rowBytes());
    auto work = [&](int y) { return m_frame.row(Plane::Work, y); };
    // Keeps the bits of `mask` from `from`, the others of `into`.
    auto blend = [&](uint8_t* into, const uint8_t* from, uint8_t mask) {
        for (size_t b = 0; b < bytes; ++b)
            into[b] = static_cast<uint8_t>((into[b] & ~mask) | (from[b] & mask));
    };
    const int r = H - 1 - j;
    const int t = 4 * j + k;
    int L = H;
    if (t >= H) {
        L = H - (t - H) / 3 - 1;
        if (L > 0) blend(work(L), work(L - 1), kSnowMasks[(t - H) % 3 + 1]);
    }
    if (L > 0) {
        for (int y = L - 1; y >= 1; --y)
            std::memcpy(work(y), work(y - 1), bytes);
        std::memset(work(0), 0xFF, bytes);
    }
    blend(work(0), m_frame.row(Plane::Load, r), kSnowMasks[k]);
}

void EffectsEngine::runEffect() {
    const int W = m_width;
    const int H = m_height;
    const size_t bytes = static_cast<size_t>(m_frame.rowBytes());
    const uint16_t moving = movingDelay(m_program.speed);
    const uint16_t revealing = revealingDelay(m_program.speed);
    auto step = [&](int i, uint32_t delay) {
        drawStepPlaceholders(i);
        commit();
        wait(delay, WaitKind::Step);
    };
    auto work = [&](int y) { return m_frame.row(Plane::Work, y); };

    switch (m_program.effect) {
        case 1:  // move up
            for (int i = 0; i < H; ++i) {
                for (int y = 0; y + 1 < H; ++y)
                    std::memcpy(work(y), work(y + 1), bytes);
                std::memcpy(work(H - 1), m_frame.row(Plane::Load, i), bytes);
                step(i, moving);
            }
            break;
        case 2:  // move down
            for (int i = H - 1; i >= 0; --i) {
                for (int y = H - 1; y >= 1; --y)
                    std::memcpy(work(y), work(y - 1), bytes);
                std::memcpy(work(0), m_frame.row(Plane::Load, i), bytes);
                step(i, moving);
            }
            break;
        case 3:  // move left
            for (int i = 0; i < W; ++i) {
                for (int y = 0; y < H; ++y)
                    for (int x = 0; x + 1 < W; ++x)
                        m_frame.setLit(Plane::Work, x, y, m_frame.lit(Plane::Work, x + 1, y));
                copyColumn(i, W - 1);
                step(i, moving);
            }
            break;
        case 4:  // move right
            for (int i = W - 1; i >= 0; --i) {
                for (int y = 0; y < H; ++y)
                    for (int x = W - 1; x >= 1; --x)
                        m_frame.setLit(Plane::Work, x, y, m_frame.lit(Plane::Work, x - 1, y));
                copyColumn(i, 0);
                step(i, moving);
            }
            // The sign shows the finished page once more before it stands.
            commit();
            break;
        case 5:  // snow
            for (int j = 0; j < H; ++j)
                for (int k = 0; k < 4; ++k) {
                    snowStep(j, k);
                    step(4 * j + k, moving);
                }
            break;
        case 6:  // horizontal blinds
            m_frame.fill(Plane::Work, 0xFF);
            for (int i = 0; i < 6; ++i) {
                const int rows = (H + 2) / 3;
                for (int n = 0; n < rows && i + 3 * n < H; ++n)
                    copyRow(i + 3 * n);
                step(i, revealing);
            }
            break;
        case 7:  // vertical blinds
            m_frame.fill(Plane::Work, 0xFF);
            for (int i = 0; i < 8; ++i) {
                for (int x = i; x < W; x += 8)
                    copyColumn(x, x);
                step(i, revealing);
            }
            break;
        case 8:  // pull up
            m_frame.fill(Plane::Work, 0xFF);
            for (int i = H - 1; i >= 0; --i) {
                copyRow(i);
                step(i, revealing);
            }
            break;
        case 9:  // pull down
            m_frame.fill(Plane::Work, 0xFF);
            for (int i = 0; i < H; ++i) {
                copyRow(i);
                step(i, revealing);
            }
            break;
        case 10:  // cover from the right: revealed left to right
            m_frame.fill(Plane::Work, 0xFF);
            for (int i = 0; i < W; ++i) {
                copyColumn(i, i);
                step(i, revealing);
            }
            break;
        case 11:  // cover from the left: revealed right to left
            m_frame.fill(Plane::Work, 0xFF);
            for (int i = W - 1; i >= 0; --i) {
                copyColumn(i, i);
                step(i, revealing);
            }
            break;
        default:  // 0, and any effect the sign does not know, shows the page at once
            for (int y = 0; y < H; ++y)
                copyRow(y);
            drawPagePlaceholders();
            commit();
            wait(kShowAtOnceWait, WaitKind::ShowAtOnce);
            break;
    }
    wait(m_program.stopMs, WaitKind::Stand);
}

// --- animation placeholders -------------------------------------------------------------

void EffectsEngine::drawStepPlaceholders(int i) {
    const int W = m_width;
    const int H = m_height;
    // Where the content has got to: both pages move, the one leaving ahead of the
    // one entering; a pull places them as the matching move would.
    switch (m_program.effect) {
        case 1:
        case 8: {
            const int s = m_program.effect == 1 ? i + 1 : H - i;  // rows moved so far
            drawLeaving(0, -s);
            drawEntering(0, H - s, 0, W);
            break;
        }
        case 2:
        case 9: {
            const int s = m_program.effect == 2 ? H - i : i + 1;
            drawLeaving(0, s);
            drawEntering(0, s - H, 0, W);
            break;
        }
        case 3:
            drawLeaving(-(i + 1), 0);
            drawEntering(W - 1 - i, 0, 0, W);
            break;
        case 4:
            drawLeaving(W - i, 0);
            drawEntering(-i, 0, 0, W);
            break;
        case 10:
            drawEntering(0, 0, 0, i + 1);
            break;
        case 11:
            drawEntering(0, 0, i, W);
            break;
        default:
            drawEntering(0, 0, 0, W);
            break;
    }
}

void EffectsEngine::drawEntering(int dx, int dy, int clipLeft, int clipRight) {
    drawTable(m_program.animations, m_pageStart, m_counters, dx, dy, clipLeft, clipRight, true);
}

void EffectsEngine::drawLeaving(int dx, int dy) {
    if (m_hasPreviousPage)
        drawTable(m_program.animations, m_previousPageStart, m_counters, dx, dy, 0, m_width, true);
    else if (m_previousProgram.valid)
        // The program before has ended: its frames stand where they were.
        drawTable(m_previousProgram.table, m_previousProgram.pageStart, m_previousProgram.counters,
                  dx, dy, 0, m_width, false);
}

bool EffectsEngine::drawPagePlaceholders() {
    return drawTable(m_program.animations, m_pageStart, m_counters, 0, 0, 0, m_width, true);
}

bool EffectsEngine::drawTable(const AnimationTable& table, int pageStart,
                              const std::array<uint8_t, kMaxPlaceholders>& counters, int dx, int dy,
                              int clipLeft, int clipRight, bool mark) {
    const int size = table.size;
    clipLeft = std::max(clipLeft, 0);
    clipRight = std::min(clipRight, m_width);
    bool any = false;
    for (size_t k = 0; k < table.entries.size(); ++k) {
        const Placeholder& p = table.entries[k];
        if (!p.drawable) continue;
        const int x = p.column - pageStart + dx;
        if (x >= clipRight || x + size <= clipLeft || dy >= m_height || dy + size <= 0) continue;
        drawFrame(p, size, counters[k], x, dy, clipLeft, clipRight);
        if (mark) m_drawn[k] = true;
        any = true;
    }
    return any;
}

void EffectsEngine::drawFrame(const Placeholder& p, int size, uint8_t counter, int x, int y,
                              int clipLeft, int clipRight) {
    const uint8_t* frame =
        m_memory.bytes(p.frames + (counter % p.frameCount) * p.frameSize, p.frameSize);
    if (!frame) return;  // cannot happen: resolving checked every frame
    const size_t groups = p.frameSize / static_cast<size_t>(size);
    for (size_t g = 0; g < groups; ++g) {
        for (int r = 0; r < size; ++r) {
            const int row = y + r;
            if (row < 0 || row >= m_height) continue;
            const uint8_t byte = frame[g * static_cast<size_t>(size) + static_cast<size_t>(r)];
            for (int b = 7; b >= 0; --b) {
                // The frame stays inside its square: the padding of its last band is not drawn.
                const long long j = 8 * static_cast<long long>(g) + 7 - b;
                const long long column = x + j;
                if (j >= size || column < clipLeft || column >= clipRight) continue;
                m_frame.setLit(Plane::Work, static_cast<int>(column), row, (byte >> b & 1) == 0);
            }
        }
    }
}

// --- commit and waits -------------------------------------------------------------------

void EffectsEngine::commit() {
    // While a border runs, its ring belongs to the border animator.
    const int inset = m_program.border != 0 ? 1 : 0;
    {
        std::lock_guard lock(m_frame.shownLock());
        for (int y = inset; y < m_height - inset; ++y)
            for (int x = inset; x < m_width - inset; ++x)
                m_frame.setLit(Plane::Shown, x, y, m_frame.lit(Plane::Work, x, y));
    }
    if (m_hooks.committed) m_hooks.committed(m_page);
}

void EffectsEngine::wait(uint32_t ms, WaitKind kind) {
    uint32_t remaining = ms / 2;
    for (;;) {
        // A blank display holds the wait: the effect stands still until it shows again.
        const bool blank = m_program.flicker && m_frame.blankPhase.load();
        if (!blank && remaining == 0) return;
        ++m_tickCounter;
        if (m_tickCounter > (blank ? kBlankTicksPerAnimationTick : kTicksPerAnimationTick)) {
            m_tickCounter = 0;
            animationTick(kind);
            sleep(1ms);
        } else {
            sleep(2ms);
        }
        ++m_ticks;
        if (!blank) --remaining;
    }
}

void EffectsEngine::animationTick(WaitKind kind) {
    for (size_t k = 0; k < m_program.animations.entries.size(); ++k) {
        if (!m_drawn[k]) continue;
        m_drawn[k] = false;
        const Placeholder& p = m_program.animations.entries[k];
        m_counters[k] = static_cast<uint8_t>((m_counters[k] + 1) % p.frameCount);
    }
    if (kind == WaitKind::Step) return;
    const bool drawn = drawPagePlaceholders();
    if (kind == WaitKind::Stand && drawn) commit();
}

void EffectsEngine::sleep(platform::Clock::Duration d) {
    if (m_stop.stop_requested()) throw Stopped{};
    m_clock.sleepFor(d);
    if (m_stop.stop_requested()) throw Stopped{};
}

}  // namespace preview
