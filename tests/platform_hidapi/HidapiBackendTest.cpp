#include "platform/hidapi/HidapiBackend.h"

#include "device/DeviceTable.h"
#include "device/LinkProtocol.h"
#include "support/HidBackendContract.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>

namespace {

using platform::HidAccess;

// Runs against the real system, which may have any HID devices or none.
TEST(HidapiBackend, EnumeratesEachNodeOnce) {
    platform::HidapiBackend backend;
    std::set<std::string> paths;
    for (const auto& device : backend.enumerate()) {
        SCOPED_TRACE(device.path);
        EXPECT_FALSE(device.path.empty());
        EXPECT_TRUE(paths.insert(device.path).second);
    }
}

TEST(HidapiBackend, RefusesWhatIsNotAHidrawNode) {
    platform::HidapiBackend backend;
    for (const char* path : {"/dev/hidraw-does-not-exist", "/dev/null", "/", ""}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(backend.open(path, HidAccess::Read), nullptr);
        EXPECT_EQ(backend.open(path, HidAccess::Write), nullptr);
    }
    EXPECT_FALSE(backend.findDisk("").has_value());
}

// Without a sign attached (as on a build machine), sending says so.
TEST(HidapiBackend, NoSignIsReportedAsNoSign) {
    platform::HidapiBackend backend;
    bool signAttached = false;
    for (const auto& d : backend.enumerate())
        signAttached |=
            d.vendorId == signlink::kSignVendorId && d.productId == signlink::kSignProductId;
    if (signAttached) GTEST_SKIP() << "a sign is attached";
    DeviceTable table(backend);
    EXPECT_EQ(table.searchSigns(signlink::kSignVendorId, signlink::kSignProductId), 0);
    signlink::NoLinkObserver quiet;
    platform::SteadyClock clock;
    const uint8_t query[] = {0x30};
    EXPECT_EQ(
        signlink::singleSignTransfer(table, clock, quiet, query, signlink::KIND_GEOMETRY_QUERY),
        signlink::TRANSFER_NO_SIGN);
}

// Without devices coming and going, this shows only that a watch starts and
// stops cleanly; the events themselves are translated in HidHotplugParse.
TEST(HidapiBackend, AWatchStopsWhenDestroyed) {
    platform::HidapiBackend backend;
    EXPECT_EQ(backend.watch(nullptr), nullptr);
    std::atomic<int> calls{0};
    auto watch = backend.watch([&](const platform::HidHotplugEvent&) { ++calls; });
    if (!watch) GTEST_SKIP() << "udev cannot be watched here";
    watch.reset();  // would hang if the thread missed the stop
}

HidBackendUnderTest makeHidapi() {
    HidBackendUnderTest under;
    under.clock = std::make_unique<platform::SteadyClock>();
    under.backend = std::make_unique<platform::HidapiBackend>();
    return under;
}

INSTANTIATE_TEST_SUITE_P(Hidapi, HidBackendContract, ::testing::Values(&makeHidapi), contractName);

}  // namespace
