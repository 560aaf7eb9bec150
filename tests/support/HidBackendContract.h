#pragma once

// What every HidBackend must do, written once. A test executable includes this
// header once and instantiates the suite with a factory for its backend:
//   INSTANTIATE_TEST_SUITE_P(Mine, HidBackendContract, ::testing::Values(&makeMine));

#include "platform/Clock.h"
#include "platform/HidBackend.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

struct HidBackendUnderTest {
    std::unique_ptr<platform::Clock> clock;
    std::unique_ptr<platform::HidBackend> backend;
    // A sign that answers every well-formed packet, when the backend has one.
    std::optional<std::string> signPath;
};

using HidBackendFactory = HidBackendUnderTest (*)();

// Names the instantiation's one case, instead of the factory's address.
inline std::string contractName(const ::testing::TestParamInfo<HidBackendFactory>&) {
    return "backend";
}

class HidBackendContract : public ::testing::TestWithParam<HidBackendFactory> {
protected:
    void SetUp() override { m_under = GetParam()(); }
    platform::HidBackend& backend() { return *m_under.backend; }
    platform::Clock& clock() { return *m_under.clock; }
    HidBackendUnderTest m_under;
};

TEST_P(HidBackendContract, EnumerationListsOpenablePaths) {
    const auto devices = backend().enumerate();
    if (devices.empty()) GTEST_SKIP() << "no device attached: nothing enumerated to check";
    for (const auto& info : devices) {
        SCOPED_TRACE(info.path);
        EXPECT_FALSE(info.path.empty());
        EXPECT_GE(info.portAddress, -1);
    }
}

TEST_P(HidBackendContract, MissingThingsAreRefusedCleanly) {
    EXPECT_EQ(backend().open("/dev/hidraw-does-not-exist", platform::HidAccess::Read), nullptr);
    EXPECT_EQ(backend().open("", platform::HidAccess::Write), nullptr);
    EXPECT_FALSE(backend().findDisk("no such container").has_value());
    EXPECT_FALSE(backend().findDisk("").has_value());
}

TEST_P(HidBackendContract, AReportGoesOutAndTheAnswerComesBack) {
    if (!m_under.signPath) GTEST_SKIP() << "no sign attached";
    auto writer = backend().open(*m_under.signPath, platform::HidAccess::Write);
    auto reader = backend().open(*m_under.signPath, platform::HidAccess::Read);
    ASSERT_NE(writer, nullptr);
    ASSERT_NE(reader, nullptr);
    auto caps = reader->capabilities();
    ASSERT_TRUE(caps.has_value());
    EXPECT_EQ(caps->inputReportLength, 65);
    EXPECT_EQ(caps->outputReportLength, 65);

    // A test pattern block of one byte (kind 1, pattern 0): 0x51 + 0x56 + 1 + 1 + 1 + 1 = 0xAB.
    uint8_t report[65] = {0, 0x51, 0x56, 0, 1, 0, 1, 0, 1, 1};
    report[62] = 0x00;
    report[63] = 0xAB;
    report[64] = 0xAA;
    platform::WaitEvent written;
    platform::HidIo io = writer->start(report, sizeof report, &written);
    ASSERT_NE(io, platform::HidIo::Failed);
    if (io == platform::HidIo::Pending) {
        ASSERT_EQ(clock().wait(written, std::chrono::seconds(2)), platform::WaitResult::Signalled);
        EXPECT_EQ(writer->result(), platform::HidIo::Completed);
    }

    uint8_t reply[65] = {};
    platform::WaitEvent replied;
    io = reader->start(reply, sizeof reply, &replied);
    ASSERT_NE(io, platform::HidIo::Failed);
    if (io == platform::HidIo::Pending) {
        ASSERT_EQ(clock().wait(replied, std::chrono::seconds(2)), platform::WaitResult::Signalled);
        EXPECT_EQ(reader->result(), platform::HidIo::Completed);
    }
    EXPECT_EQ(reply[0], 0);      // the report ID
    EXPECT_EQ(reply[1 + 8], 1);  // the kind echo
}

TEST_P(HidBackendContract, ACancelledReadLeavesItsBufferAlone) {
    if (!m_under.signPath) GTEST_SKIP() << "no sign attached";
    auto reader = backend().open(*m_under.signPath, platform::HidAccess::Read);
    ASSERT_NE(reader, nullptr);
    uint8_t buffer[65];
    std::fill(std::begin(buffer), std::end(buffer), 0x5A);
    platform::WaitEvent event;
    // Nothing was written, so nothing answers.
    ASSERT_EQ(reader->start(buffer, sizeof buffer, &event), platform::HidIo::Pending);
    reader->cancel();
    EXPECT_EQ(clock().wait(event, std::chrono::milliseconds(100)), platform::WaitResult::TimedOut);
    for (uint8_t b : buffer)
        ASSERT_EQ(b, 0x5A);
}
