#include "app/SignOptions.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testing_support::readFile;
using testing_support::TempDir;

// Reports written out by hand from the packet layout: report ID 0, "QV",
// length 1, count 1, number 1, kind, one payload byte, 51 zero bytes, the sum
// of packet bytes 0 … 60 (big-endian), 0xAA.
std::string line(const char* head, const char* sum) {
    return head + std::string(102, '0') + sum + "aa";
}
// Geometry query 0x30: 0x51 + 0x56 + 1 + 1 + 1 + 3 + 0x30 = 0x00DD.
const std::string kQuery = line("0051560001000100010330", "00dd");
// Test pattern 2: 0x51 + 0x56 + 1 + 1 + 1 + 1 + 2 = 0x00AD.
const std::string kPattern = line("0051560001000100010102", "00ad");
// Command byte 0xFF: 0x51 + 0x56 + 1 + 1 + 1 + 4 + 0xFF = 0x01AD.
const std::string kCommand = line("00515600010001000104ff", "01ad");

std::vector<uint8_t> bytesOf(const std::string& hex) {
    std::vector<uint8_t> out;
    for (size_t k = 0; k + 1 < hex.size(); k += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(k, 2), nullptr, 16)));
    return out;
}

// Writes one report to a sign, as the link would.
void send(SimulatedSign& sim, int sign, const std::string& hex) {
    // Both outlive the handle, which cancels what it still runs when it goes.
    platform::WaitEvent event;
    std::vector<uint8_t> report = bytesOf(hex);
    ASSERT_EQ(report.size(), 65u);
    auto handle = sim.open(sim.pathOf(sign), platform::HidAccess::Write);
    ASSERT_TRUE(handle);
    EXPECT_NE(handle->start(report.data(), report.size(), &event), platform::HidIo::Failed);
}

std::unique_ptr<platform::HidBackend> noRealSigns() {
    ADD_FAILURE() << "the real signs were asked for";
    return nullptr;
}

TEST(SignOptions, TakesItsOptionsAndLeavesTheRest) {
    std::vector<std::string> args = {
        "send",         "--virtual-sign", "48x12",          "--report-log",
        "signs-%n.log", "project.vqd",    "--virtual-sign", "64x16:port=none,unplug=30,status=0:2"};
    SignOptions options;
    std::string error;
    ASSERT_TRUE(options.take(args, error)) << error;
    EXPECT_EQ(args, (std::vector<std::string>{"send", "project.vqd"}));
    EXPECT_EQ(options.reportLog, "signs-%n.log");
    ASSERT_EQ(options.virtualSigns.size(), 2u);
    EXPECT_EQ(options.virtualSigns[0].width, 48);
    EXPECT_FALSE(options.virtualSigns[0].portAddress);
    EXPECT_EQ(options.virtualSigns[0].unplugAfterPackets, 0);
    EXPECT_TRUE(options.virtualSigns[0].statusByKind.empty());
    EXPECT_EQ(options.virtualSigns[1].height, 16);
    EXPECT_EQ(options.virtualSigns[1].portAddress, -1);
    EXPECT_EQ(options.virtualSigns[1].unplugAfterPackets, 30);
    EXPECT_EQ(options.virtualSigns[1].statusByKind.at(0), 2);
}

TEST(SignOptions, AWrongSignSaysWhichOption) {
    struct Case {
        std::vector<std::string> args;
        std::string error;
    };
    const Case cases[] = {
        {{"--virtual-sign", "48x12:delay=70000"},
         "--virtual-sign 48x12:delay=70000: 'delay=70000': the reply delay is 0 to 60000 ms"},
        {{"--virtual-sign", "48x12:speed=2"}, "unknown option 'speed=2'"},
        {{"--virtual-sign", "300x12"}, "'300x12' is not a sign size"},
        {{"x", "--virtual-sign"}, "--virtual-sign needs a value"},
        {{"--report-log"}, "--report-log needs a value"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        auto args = c.args;
        SignOptions options;
        std::string error;
        EXPECT_FALSE(options.take(args, error));
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
}

TEST(SignOptions, ReportLogWithNumberGivesEachSignItsFile) {
    TempDir dir;
    SignOptions options;
    std::vector<std::string> args = {"--virtual-sign", "48x12", "--virtual-sign", "64x16:port=none",
                                     "--report-log",   "",      "--virtual-sign", "16x8"};
    args[5] = (dir / "sign%n-of-%n.log").string();
    std::string error;
    ASSERT_TRUE(options.take(args, error)) << error;
    platform::VirtualClock clock;
    SimulatedSign* sim = nullptr;
    auto backend = options.makeBackend(clock, noRealSigns, &sim, error);
    ASSERT_TRUE(backend) << error;
    ASSERT_EQ(sim, backend.get());

    send(*sim, 0, kQuery);
    send(*sim, 1, kPattern);
    send(*sim, 0, kCommand);
    // Each report was a good packet: the sign took it.
    EXPECT_EQ(sim->stats(0).packetsTaken, 2);
    EXPECT_EQ(sim->stats(1).packetsTaken, 1);
    EXPECT_EQ(readFile(dir / "sign1-of-1.log"), kQuery + "\n" + kCommand + "\n");
    EXPECT_EQ(readFile(dir / "sign2-of-2.log"), kPattern + "\n");
    EXPECT_EQ(readFile(dir / "sign3-of-3.log"), "");
    EXPECT_FALSE(std::filesystem::exists(dir / "sign%n-of-%n.log"));
    EXPECT_EQ(sim->reportLogError(), "");
}

TEST(SignOptions, ReportLogWithoutNumberIsSharedAndAppended) {
    TempDir dir;
    testing_support::writeFile(dir / "all.log", "earlier\n");
    SignOptions options;
    options.virtualSigns.resize(2);
    options.reportLog = (dir / "all.log").string();
    platform::VirtualClock clock;
    SimulatedSign* sim = nullptr;
    std::string error;
    auto backend = options.makeBackend(clock, noRealSigns, &sim, error);
    ASSERT_TRUE(backend) << error;
    send(*sim, 1, kPattern);
    send(*sim, 0, kQuery);
    EXPECT_EQ(readFile(dir / "all.log"), "earlier\n" + kPattern + "\n" + kQuery + "\n");
}

TEST(SignOptions, AReportLogThatCannotBeOpenedIsNamed) {
    TempDir dir;
    for (const std::string name : {"missing/sign%n.log", "missing/all.log"}) {
        SCOPED_TRACE(name);
        SignOptions options;
        options.virtualSigns.resize(2);
        options.reportLog = (dir / name).string();
        platform::VirtualClock clock;
        SimulatedSign* sim = nullptr;
        std::string error;
        EXPECT_FALSE(options.makeBackend(clock, noRealSigns, &sim, error));
        EXPECT_EQ(sim, nullptr);
        std::string file = options.reportLog;
        if (const size_t at = file.find("%n"); at != std::string::npos) file.replace(at, 2, "1");
        EXPECT_EQ(error, "cannot append to the report log " + file);
    }
}

}  // namespace
