#pragma once

#include "device/DeviceTable.h"
#include "platform/Clock.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

namespace batch {

// Results of one sign's transfer: those of the link (0, 2, 3) and one of our
// own for a transfer that was stopped (the dialog closed, the sign pulled).
inline constexpr int kTransferStopped = -1;

// Packets acknowledged so far, of the total.
using TransferProgress = std::function<void(uint32_t done, uint32_t total)>;

// One block to one sign of a batch send, on the calling worker's thread, with
// its own events. Unlike the single-sign transfer a failed read wait ends it,
// a reply that is missing or refused twice ends it, and it stops within one
// wait when `running` is cleared or the entry leaves the table. Opens the
// entry first; leaves nothing pending on it.
int sendToSign(DeviceTable& table, DeviceTable::Entry& entry, platform::Clock& clock,
               const std::atomic<bool>& running, std::span<const uint8_t> data, uint8_t kind,
               const TransferProgress& progress);

struct SignSize {
    int width = 0;
    int height = 0;
};

// Asks one sign for its size (a block of kind 3); none when the transfer
// failed or the reply refused it or carried no size.
std::optional<SignSize> querySignSize(DeviceTable& table, DeviceTable::Entry& entry,
                                      platform::Clock& clock, const std::atomic<bool>& running);

// The seconds since a start, as the row shows them while a sign is asked.
using RequestClock = std::function<void()>;

// Asks one sign whether it takes firmware now (a block of kind 5, one byte 0):
// a reply of status 8 is waited on for a second and the request sent again, at
// most three times in all; status 0 or no reply at all ends it. `tick` runs
// before every wait for a write. Nothing it finds stops what follows.
void firmwareRequest(DeviceTable& table, DeviceTable::Entry& entry, platform::Clock& clock,
                     const std::atomic<bool>& running, const RequestClock& tick);

// Sleeps on the clock in slices, ending early when `running` is cleared or
// the entry leaves the table; false then.
bool pause(platform::Clock& clock, platform::Clock::Duration d, const std::atomic<bool>& running,
           const DeviceTable::Entry& entry);

}  // namespace batch
