#pragma once

#include "platform/ClockLock.h"
#include "platform/HidBackend.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The attached signs, by device key. Key 0 names the first sign of the last
// search; every entry also gets a key of its own from a counter that is never
// reset, so batch workers can hold on to their keys.
//
// Safe for many threads: the window searches, adds and removes while workers
// transfer. Entries are shared-owned. Taking an entry out of the table (a new
// search, a removal) sets its cancel flag and closes its handles, but the entry
// itself lives on until the last worker holding it lets go, so a worker never
// touches freed memory; it finds its handles closed and its I/O failing.
class DeviceTable {
public:
    enum Direction : unsigned { Read = 1, Write = 2, Both = 3 };

    // What the system tells of a sign and its disk.
    struct Info {
        std::string devicePath;
        std::string containerId;
        int32_t portAddress = -1;
        std::string diskPath;
        uint32_t diskNumber = 0;
        std::string volumeName;
        std::string rootPath;
    };

    class Entry {
    public:
        Info info() const;
        // Set when the entry leaves the table; long operations on the sign's disk
        // watch it, and so do the transfers of workers holding the entry.
        bool cancelled() const { return cancel->load(); }
        const std::shared_ptr<std::atomic<bool>> cancel =
            std::make_shared<std::atomic<bool>>(false);
        // One transfer at a time on a sign: a worker of a later send waits here
        // for the earlier one rather than interleaving two blocks.
        platform::ClockLock transferLock;

    private:
        friend class DeviceTable;
        mutable std::mutex m_mutex;  // everything below
        Info m_info;
        std::optional<platform::HidCapabilities> m_capabilities;
        std::unique_ptr<platform::HidHandle> m_readHandle;
        std::unique_ptr<platform::HidHandle> m_writeHandle;
        bool m_readPending = false;
        bool m_writePending = false;
    };
    using EntryPtr = std::shared_ptr<Entry>;

    explicit DeviceTable(platform::HidBackend& backend) : m_backend(backend) {}
    ~DeviceTable();
    DeviceTable(const DeviceTable&) = delete;
    DeviceTable& operator=(const DeviceTable&) = delete;

    platform::HidBackend& backend() { return m_backend; }

    // Empties the table and fills it with the present signs; returns the entry count.
    int searchSigns(uint16_t vendorId, uint16_t productId);
    // A sign that was plugged in: its key when the table has an entry of that
    // path under a key other than 0, else a new entry (and key 0 too when that
    // is free). None when the path is not among the present devices.
    std::optional<int32_t> addArrived(const std::string& devicePath);
    // Takes every entry of the path out (cancelled and closed); the keys other
    // than 0 that it had, lowest first.
    std::vector<int32_t> removePath(const std::string& devicePath);
    // Takes every entry out, as a new search would.
    void clear();

    // The entry under a key, shared with the table; null when missing.
    EntryPtr acquire(int32_t key) const;

    // By entry, for a worker that holds one. Operations on a cancelled entry fail.
    bool open(Entry& entry);
    void close(Entry& entry);
    uint16_t inputReportLength(const Entry& entry) const;
    uint16_t outputReportLength(const Entry& entry) const;
    // True when the transfer completed at once or is pending (see isPending).
    bool write(Entry& entry, const uint8_t* buffer, size_t length, platform::WaitEvent* event);
    bool read(Entry& entry, uint8_t* buffer, size_t length, platform::WaitEvent* event);
    // Cancels what is still running; afterwards it touches neither its buffer
    // nor its event. The handles stay open.
    void cancelPending(Entry& entry, Direction direction = Both);
    bool isPending(const Entry& entry, Direction direction) const;
    void clearPending(Entry& entry, Direction direction);
    bool findDiskOfEntry(Entry& entry);

    // The same by key; a key that is not in the table does nothing and gives
    // false, 0 or none.
    bool open(int32_t key);
    void close(int32_t key);
    uint16_t inputReportLength(int32_t key) const;
    uint16_t outputReportLength(int32_t key) const;
    bool write(int32_t key, const uint8_t* buffer, size_t length, platform::WaitEvent* event);
    bool read(int32_t key, uint8_t* buffer, size_t length, platform::WaitEvent* event);
    void cancelPending(int32_t key, Direction direction = Both);
    bool isPending(int32_t key, Direction direction) const;
    void clearPending(int32_t key, Direction direction);
    void findDisks();
    bool findDiskOfEntry(int32_t key);
    // The key of the entry with this path, compared without regard to case;
    // with `ownKeysOnly` never the alias 0.
    std::optional<int32_t> findEntryByPath(const std::string& devicePath,
                                           bool ownKeysOnly = false) const;

    bool contains(int32_t key) const;
    std::optional<Info> info(int32_t key) const;
    std::vector<int32_t> keys() const;
    int size() const;

    // Single-sign transfers hold this for their whole run, so two never overlap.
    platform::ClockLock& singleSignLock() { return m_singleSignLock; }

private:
    static void retire(Entry& entry);
    static void closeLocked(Entry& entry);
    bool transfer(Entry& entry, bool reading, uint8_t* buffer, size_t length,
                  platform::WaitEvent* event);
    void lookUpDisk(Entry& entry);
    EntryPtr makeEntry(const platform::HidDeviceInfo& info) const;

    platform::HidBackend& m_backend;
    mutable std::mutex m_mutex;  // the map and the key counter
    std::map<int32_t, EntryPtr> m_entries;
    int32_t m_nextKey = 1;
    platform::ClockLock m_singleSignLock;
};
