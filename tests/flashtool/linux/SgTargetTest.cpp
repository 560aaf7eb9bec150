#include "flashtool/linux/SgTarget.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <cerrno>
#include <cstring>

namespace {

using vornload::DataDirection;
using vornload::SgTarget;

const vornload::CommandBlock command{0xFB, 0x04, 0x12, 0x34, 0x56, 0x78, 0x02, 0x00,
                                     0x00, 0xCD, 0xAB, 0x00, 0x00, 0x00, 0x00, 0x00};

struct Fill {
    DataDirection direction;
    uint32_t length;
    int sgDirection;
};

class SgRequestFill : public testing::TestWithParam<Fill> {};

TEST_P(SgRequestFill, DescribesTheCommandAndItsDataPhase) {
    const Fill& c = GetParam();
    uint8_t data[512] = {};
    SgTarget::Request r;
    ASSERT_EQ(SgTarget::prepare(r, command, c.direction, data, c.length, 10'000), 0);
    const sg_io_hdr_t& h = r.header;
    EXPECT_EQ(h.interface_id, 'S');
    EXPECT_EQ(h.dxfer_direction, c.sgDirection);
    EXPECT_EQ(h.dxfer_len, c.length);
    EXPECT_EQ(h.dxferp, c.length == 0 ? nullptr : static_cast<void*>(data));
    EXPECT_EQ(h.cmd_len, 16);
    ASSERT_NE(h.cmdp, nullptr);
    EXPECT_EQ(std::memcmp(h.cmdp, command.data(), 16), 0);
    EXPECT_EQ(h.mx_sb_len, 32);
    EXPECT_EQ(h.sbp, r.sense.data());
    EXPECT_EQ(h.timeout, 10'000u);
    EXPECT_EQ(h.iovec_count, 0);
    EXPECT_EQ(h.flags, 0u);
}

INSTANTIATE_TEST_SUITE_P(Directions, SgRequestFill,
                         testing::Values(Fill{DataDirection::in, 16, SG_DXFER_FROM_DEV},
                                         Fill{DataDirection::in, 512, SG_DXFER_FROM_DEV},
                                         Fill{DataDirection::out, 512, SG_DXFER_TO_DEV},
                                         Fill{DataDirection::in, 0, SG_DXFER_NONE},
                                         Fill{DataDirection::out, 0, SG_DXFER_NONE}));

TEST(SgTarget, RefusesADataPhaseWithoutABuffer) {
    SgTarget::Request r;
    EXPECT_EQ(SgTarget::prepare(r, command, DataDirection::in, nullptr, 16, 10'000), EINVAL);
    EXPECT_EQ(SgTarget::prepare(r, command, DataDirection::out, nullptr, 0, 10'000), 0);
}

struct Outcome {
    const char* what;
    unsigned char status;
    unsigned short host;
    unsigned short driver;
    int result;
};

class SgOutcome : public testing::TestWithParam<Outcome> {};

TEST_P(SgOutcome, CountsOnlyTransfersThatDidNotHappen) {
    const Outcome& c = GetParam();
    sg_io_hdr_t h{};
    h.status = c.status;
    h.host_status = c.host;
    h.driver_status = c.driver;
    EXPECT_EQ(SgTarget::outcome(h), c.result);
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, SgOutcome,
    testing::Values(Outcome{"Clean", 0x00, 0x00, 0x00, 0},
                    // CHECK CONDITION with sense data: the chip's answer, not ours to judge.
                    Outcome{"CheckCondition", 0x02, 0x00, 0x08, 0},
                    Outcome{"SenseWithRetryHint", 0x02, 0x00, 0x18, 0},
                    Outcome{"Busy", 0x08, 0x00, 0x00, 0},
                    Outcome{"HostNoConnect", 0x00, 0x01, 0x00, EIO},
                    Outcome{"HostTimedOut", 0x00, 0x03, 0x00, ETIMEDOUT},
                    Outcome{"HostError", 0x00, 0x07, 0x00, EIO},
                    Outcome{"HostReset", 0x02, 0x08, 0x08, EIO},
                    Outcome{"DriverTimedOut", 0x00, 0x00, 0x06, ETIMEDOUT},
                    Outcome{"DriverErrorWithSense", 0x02, 0x00, 0x0C, EIO},
                    Outcome{"DriverHard", 0x00, 0x00, 0x27, EIO}),
    [](const auto& p) { return std::string(p.param.what); });

TEST(SgTarget, PassesOnTheDriversRefusal) {
    const int fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    SgTarget target(fd);
    uint8_t response[16] = {};
    EXPECT_EQ(target.execute(command, DataDirection::in, response, 16, 10'000), ENOTTY);
    // The request is checked before it goes out.
    EXPECT_EQ(target.execute(command, DataDirection::in, nullptr, 16, 10'000), EINVAL);
}

TEST(SgTarget, WithoutADeviceEveryRequestFails) {
    SgTarget target(-1);
    EXPECT_EQ(target.execute(command, DataDirection::out, nullptr, 0, 10'000), EBADF);
}

}  // namespace
