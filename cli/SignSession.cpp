#include "cli/SignSession.h"

#include "platform/hidapi/HidapiBackend.h"

#include <unistd.h>
#include <cstdio>

bool SignSession::open(const SignOptions& options, std::string& error) {
    m_terminal = isatty(STDERR_FILENO) == 1;
    m_backend = options.makeBackend(
        m_clock, [] { return std::make_unique<platform::HidapiBackend>(); }, &m_simulated, error);
    if (!m_backend) return false;
    m_table = std::make_unique<DeviceTable>(*m_backend);
    return true;
}

int SignSession::transfer(std::span<const uint8_t> block, uint8_t kind,
                          std::vector<uint8_t>* reply) {
    m_packets = 0;
    const int code = signlink::singleSignTransfer(*m_table, m_clock, *this, block, kind, reply);
    endProgressLine();
    return code;
}

void SignSession::setProgressRange(int low, int high) {
    m_packets = high - low + 1;
}

void SignSession::setProgressPos(int pos) {
    // Only worth a line when it takes a while.
    if (!m_terminal || m_packets < 20) return;
    std::fprintf(stderr, "\rpackets %d of %d", pos + 1, m_packets);
    std::fflush(stderr);
    m_lineOpen = true;
}

void SignSession::endProgressLine() {
    if (!m_lineOpen) return;
    std::fputc('\n', stderr);
    m_lineOpen = false;
}

void SignSession::setSignSize(int width, int height) {
    m_width = width;
    m_height = height;
}

std::vector<std::string> SignSession::virtualSignSummary() const {
    std::vector<std::string> lines;
    if (!m_simulated) return lines;
    for (int k = 0; k < m_simulated->signCount(); ++k) {
        const auto config = m_simulated->config(k);
        for (const auto& block : m_simulated->blocks(k)) {
            char line[160];
            std::snprintf(line, sizeof line,
                          "virtual sign %d (%dx%d) received kind %u, %zu bytes in %u packets",
                          k + 1, config.width, config.height, block.kind, block.bytes.size(),
                          block.packets);
            lines.emplace_back(line);
        }
    }
    return lines;
}
