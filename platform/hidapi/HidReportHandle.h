#pragma once

#include "platform/HidBackend.h"
#include "platform/hidapi/HidReportDescriptor.h"
#include "platform/hidapi/HidReportIo.h"
#include "platform/hidapi/HidReportWriter.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <vector>

namespace platform {

// One direction of a HID device over blocking report I/O. Writes go to a writer
// thread (HidReportWriter) and are always Pending at first. A read that finds no
// report waiting is handed to a reader thread, which fills the caller's buffer
// and sets the caller's event when the report comes. cancel() and destruction
// make sure neither thread touches a caller's buffer or event afterwards.
class HidReportHandle final : public HidHandle {
public:
    HidReportHandle(std::unique_ptr<HidReportIo> io, HidAccess access,
                    std::optional<HidReportDescriptor> descriptor);
    ~HidReportHandle() override;
    HidReportHandle(const HidReportHandle&) = delete;
    HidReportHandle& operator=(const HidReportHandle&) = delete;

    std::optional<HidCapabilities> capabilities() override;
    // hidraw queues input reports per open file in a fixed ring; there is no
    // buffer count to set.
    void setInputBuffers(int) override {}
    // A transfer started while another is pending replaces it.
    HidIo start(uint8_t* buffer, size_t length, WaitEvent* event) override;
    HidIo result() override;
    void cancel() override;

    // How long the reader waits for the device in one go: it sees a stop request
    // within this time, and a read started right after a cancel waits at most this long.
    static constexpr int kReadSliceMs = 20;

private:
    HidIo startRead(uint8_t* buffer, size_t length, WaitEvent* event);
    void readLoop(std::stop_token stop);
    // Puts a report as the device sent it into a caller's buffer, id byte first.
    void copyReport(const uint8_t* report, size_t size, uint8_t* buffer, size_t length) const;
    // With m_stateMutex held.
    void abandonPendingRead();

    const std::shared_ptr<HidReportIo> m_io;
    const HidAccess m_access;
    const std::optional<HidReportDescriptor> m_descriptor;
    // Writes only. It shares the device, which may outlive this handle while a
    // write is stuck in it.
    std::unique_ptr<HidReportWriter> m_writer;

    // The rest serves reads only. Lock order: m_ioMutex, then m_stateMutex. m_ioMutex keeps device
    // calls one at a time.
    std::mutex m_ioMutex;
    std::vector<uint8_t> m_scratch;  // under m_ioMutex

    std::mutex m_stateMutex;
    std::condition_variable_any m_wake;
    HidIo m_state = HidIo::Failed;  // nothing started counts as nothing pending
    uint8_t* m_buffer = nullptr;
    size_t m_length = 0;
    WaitEvent* m_event = nullptr;
    // Reports that came after their read was cancelled, for the next read, as
    // the driver's queue would have kept them.
    std::deque<std::vector<uint8_t>> m_kept;

    std::jthread m_reader;  // started at the first read that has to wait
};

}  // namespace platform
