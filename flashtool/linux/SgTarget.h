#pragma once

#include "flashtool/device/ScsiTarget.h"

#include <scsi/sg.h>

#include <array>
#include <cstdint>

namespace vornload {

// The chip's disk through its SCSI generic node (/dev/sgN) and the SG_IO request.
class SgTarget : public ScsiTarget {
public:
    // Takes over `fd`, an open sg node, and closes it when it goes.
    explicit SgTarget(int fd) : m_fd(fd) {}
    ~SgTarget() override;
    SgTarget(const SgTarget&) = delete;
    SgTarget& operator=(const SgTarget&) = delete;

    int execute(const CommandBlock& command, DataDirection direction, uint8_t* data,
                uint32_t length, uint32_t timeoutMs) override;

    static constexpr uint8_t senseLength = 32;

    // One request with the buffers its header points into; it must stay where it is.
    struct Request {
        Request() = default;
        Request(const Request&) = delete;
        Request& operator=(const Request&) = delete;

        sg_io_hdr_t header{};
        CommandBlock command{};
        std::array<uint8_t, senseLength> sense{};
    };

    // Fills `request` for one command; EINVAL for a data phase without a buffer, else 0.
    static int prepare(Request& request, const CommandBlock& command, DataDirection direction,
                       uint8_t* data, uint32_t length, uint32_t timeoutMs);

    // The result of a request the driver accepted: 0, or the error number of a transfer
    // that did not happen (timed out, device gone, transport failure).
    static int outcome(const sg_io_hdr_t& header);

private:
    int m_fd;
};

}  // namespace vornload
