#include "platform/hidapi/HidHotplugParse.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using platform::HidHotplugEvent;
using Kind = platform::HidHotplugEvent::Kind;

struct HidIdCase {
    const char* name;
    const char* text;
    std::optional<std::pair<uint16_t, uint16_t>> ids;
};

class HidIdParse : public ::testing::TestWithParam<HidIdCase> {};

TEST_P(HidIdParse, ReadsVendorAndProduct) {
    const HidIdCase& c = GetParam();
    const auto ids = platform::parseHidId(c.text);
    ASSERT_EQ(ids.has_value(), c.ids.has_value());
    if (!ids) return;
    EXPECT_EQ(ids->vendorId, c.ids->first);
    EXPECT_EQ(ids->productId, c.ids->second);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HidIdParse,
    ::testing::Values(HidIdCase{"Sign", "0003:00000483:00005750",
                                std::pair<uint16_t, uint16_t>{0x0483, 0x5750}},
                      HidIdCase{"Bluetooth", "0005:0000046D:0000B342",
                                std::pair<uint16_t, uint16_t>{0x046D, 0xB342}},
                      HidIdCase{"LowerCase", "0003:0000abcd:0000ef01",
                                std::pair<uint16_t, uint16_t>{0xABCD, 0xEF01}},
                      HidIdCase{"Highest", "0003:0000FFFF:0000FFFF",
                                std::pair<uint16_t, uint16_t>{0xFFFF, 0xFFFF}},
                      HidIdCase{"VendorTooWide", "0003:00010483:00005750", std::nullopt},
                      HidIdCase{"ProductTooWide", "0003:00000483:80005750", std::nullopt},
                      HidIdCase{"TooManyDigits", "0003:000000000483:00005750", std::nullopt},
                      HidIdCase{"NoProduct", "0003:00000483", std::nullopt},
                      HidIdCase{"FourFields", "0003:00000483:00005750:0001", std::nullopt},
                      HidIdCase{"EmptyField", "0003::00005750", std::nullopt},
                      HidIdCase{"EmptyLast", "0003:00000483:", std::nullopt},
                      HidIdCase{"NotHex", "0003:0000048G:00005750", std::nullopt},
                      HidIdCase{"Signed", "0003:+0000483:00005750", std::nullopt},
                      HidIdCase{"Spaces", "0003: 0000483:00005750", std::nullopt},
                      HidIdCase{"Empty", "", std::nullopt}),
    [](const auto& p) { return std::string(p.param.name); });

struct UdevCase {
    const char* name;
    platform::UdevDeviceNote note;
    std::optional<HidHotplugEvent> event;
};

HidHotplugEvent arrived(uint16_t vendorId, uint16_t productId) {
    return {Kind::Arrived, "/dev/hidraw3", vendorId, productId};
}

class UdevTranslation : public ::testing::TestWithParam<UdevCase> {};

TEST_P(UdevTranslation, ReportsOnlyHidrawNodesComingAndGoing) {
    const UdevCase& c = GetParam();
    const auto event = platform::hotplugEventFromUdev(c.note);
    ASSERT_EQ(event.has_value(), c.event.has_value());
    if (!event) return;
    EXPECT_EQ(event->kind, c.event->kind);
    EXPECT_EQ(event->path, c.event->path);
    EXPECT_EQ(event->vendorId, c.event->vendorId);
    EXPECT_EQ(event->productId, c.event->productId);
}

constexpr const char* kSign = "0003:00000483:00005750";

INSTANTIATE_TEST_SUITE_P(
    Cases, UdevTranslation,
    ::testing::Values(
        UdevCase{"SignArrives", {"add", "hidraw", "/dev/hidraw3", kSign}, arrived(0x0483, 0x5750)},
        UdevCase{"OtherDeviceArrives",
                 {"add", "hidraw", "/dev/hidraw3", "0003:0000046D:0000C52B"},
                 arrived(0x046D, 0xC52B)},
        UdevCase{"IdsUnreadable", {"add", "hidraw", "/dev/hidraw3", nullptr}, arrived(0, 0)},
        UdevCase{"IdsMalformed", {"add", "hidraw", "/dev/hidraw3", "0003:483"}, arrived(0, 0)},
        UdevCase{"SignLeaves",
                 {"remove", "hidraw", "/dev/hidraw3", kSign},
                 HidHotplugEvent{Kind::Removed, "/dev/hidraw3", 0, 0}},
        UdevCase{"Change", {"change", "hidraw", "/dev/hidraw3", kSign}, std::nullopt},
        UdevCase{"Bind", {"bind", "hidraw", "/dev/hidraw3", kSign}, std::nullopt},
        UdevCase{"NoAction", {nullptr, "hidraw", "/dev/hidraw3", kSign}, std::nullopt},
        UdevCase{"HidDevice", {"add", "hid", nullptr, kSign}, std::nullopt},
        UdevCase{"UsbDevice", {"add", "usb", "/dev/bus/usb/001/007", nullptr}, std::nullopt},
        UdevCase{"NoSubsystem", {"add", nullptr, "/dev/hidraw3", kSign}, std::nullopt},
        UdevCase{"NoNode", {"add", "hidraw", nullptr, kSign}, std::nullopt},
        UdevCase{"EmptyNode", {"remove", "hidraw", "", nullptr}, std::nullopt}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
