#include "flashtool/linux/SgTarget.h"

#include <sys/ioctl.h>
#include <unistd.h>
#include <cerrno>

namespace vornload {

namespace {

// Host byte values of the SCSI mid-layer; the C library's sg header does not carry them.
constexpr unsigned hostTimedOut = 0x03;  // DID_TIME_OUT

// Driver byte: the low bits name an error, 0x08 only says sense data came back (the chip's
// CHECK CONDITION, which like the status byte is not ours to judge), the high bits are hints.
constexpr unsigned driverErrorMask = 0x07;
constexpr unsigned driverTimedOut = 0x06;  // DRIVER_TIMEOUT

}  // namespace

SgTarget::~SgTarget() {
    if (m_fd >= 0) ::close(m_fd);
}

int SgTarget::prepare(Request& request, const CommandBlock& command, DataDirection direction,
                      uint8_t* data, uint32_t length, uint32_t timeoutMs) {
    if (length > 0 && data == nullptr) return EINVAL;
    request.command = command;
    request.sense.fill(0);
    sg_io_hdr_t& h = request.header;
    h = sg_io_hdr_t{};
    h.interface_id = 'S';
    if (length == 0)
        h.dxfer_direction = SG_DXFER_NONE;
    else
        h.dxfer_direction = direction == DataDirection::in ? SG_DXFER_FROM_DEV : SG_DXFER_TO_DEV;
    h.cmd_len = static_cast<unsigned char>(request.command.size());
    h.mx_sb_len = senseLength;
    h.dxfer_len = length;
    h.dxferp = length == 0 ? nullptr : data;
    h.cmdp = request.command.data();
    h.sbp = request.sense.data();
    h.timeout = timeoutMs;
    return 0;
}

// The SCSI status byte is left alone: the chip answers in the data phase, and the caller
// judges that. A nonzero host byte or an error in the driver byte, though, means the data
// phase did not take place (time-out, unplugged, reset), and passing that on as success
// would have the caller act on a buffer the device never filled or never took.
int SgTarget::outcome(const sg_io_hdr_t& header) {
    if (header.host_status != 0) return header.host_status == hostTimedOut ? ETIMEDOUT : EIO;
    const unsigned driver = header.driver_status & driverErrorMask;
    if (driver != 0) return driver == driverTimedOut ? ETIMEDOUT : EIO;
    return 0;
}

int SgTarget::execute(const CommandBlock& command, DataDirection direction, uint8_t* data,
                      uint32_t length, uint32_t timeoutMs) {
    if (m_fd < 0) return EBADF;
    Request request;
    if (const int rc = prepare(request, command, direction, data, length, timeoutMs); rc != 0)
        return rc;
    // Not repeated on EINTR: the command may already have reached the chip, and the caller
    // has its own retries for each operation.
    if (::ioctl(m_fd, SG_IO, &request.header) != 0) return errno != 0 ? errno : EIO;
    return outcome(request.header);
}

}  // namespace vornload
