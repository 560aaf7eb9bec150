#pragma once

#include "platform/HidBackend.h"
#include "platform/hidapi/HidReportIo.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

// Writes reports on a thread of its own, so that a device that stops taking
// them blocks that thread and never the caller: start() copies the report and
// returns at once; the thread writes it, then records the outcome and sets the
// caller's event.
//
// A write in the device cannot be interrupted. Abandoning it (cancel, a new
// start, destruction) only makes sure its outcome is dropped and its event is
// never touched again. That is why the thread and everything it uses, the
// device included, are shared-owned: destruction joins an idle thread, but
// leaves one that is stuck in a write to finish on its own; the device closes
// when that write returns, and destruction never waits for it.
class HidReportWriter {
public:
    explicit HidReportWriter(std::shared_ptr<HidReportIo> io);
    ~HidReportWriter();
    HidReportWriter(const HidReportWriter&) = delete;
    HidReportWriter& operator=(const HidReportWriter&) = delete;

    // Pending, or Failed when the report is empty or no thread could be started.
    // A write that is still pending is abandoned first; one that had not reached
    // the device yet is dropped unwritten.
    HidIo start(const uint8_t* report, size_t length, WaitEvent* event);
    HidIo result();
    void cancel();

private:
    struct Shared;
    static void run(const std::shared_ptr<Shared>& shared);

    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;  // started at the first write
};

}  // namespace platform
