#pragma once

#include "platform/HidBackend.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

// The attached signs, by device key. Key 0 names the first sign of the last
// search; every entry also gets a key of its own from a counter that is never
// reset, so batch workers can hold on to their keys.
class DeviceTable {
public:
    enum Direction : unsigned { Read = 1, Write = 2, Both = 3 };

    struct Entry {
        std::string devicePath;
        std::string containerId;
        int32_t portAddress = -1;
        std::string diskPath;
        uint32_t diskNumber = 0;
        std::string volumeName;
        std::string rootPath;
        std::optional<platform::HidCapabilities> capabilities;
        // Watched by long operations on the sign's disk; set when the entry goes.
        std::shared_ptr<std::atomic<bool>> cancel = std::make_shared<std::atomic<bool>>(false);

        std::unique_ptr<platform::HidHandle> readHandle;
        std::unique_ptr<platform::HidHandle> writeHandle;
        bool readPending = false;
        bool writePending = false;
    };

    explicit DeviceTable(platform::HidBackend& backend) : m_backend(backend) {}
    ~DeviceTable();
    DeviceTable(const DeviceTable&) = delete;
    DeviceTable& operator=(const DeviceTable&) = delete;

    // Empties the table and fills it with the present signs; returns the entry count.
    int searchSigns(uint16_t vendorId, uint16_t productId);
    bool open(int32_t key);
    void close(int32_t key);
    uint16_t inputReportLength(int32_t key) const;
    uint16_t outputReportLength(int32_t key) const;
    // True when the transfer completed at once or is pending (see isPending).
    bool write(int32_t key, const uint8_t* buffer, size_t length, platform::WaitEvent* event);
    bool read(int32_t key, uint8_t* buffer, size_t length, platform::WaitEvent* event);
    // Cancels what is still running in both directions; the handles stay open.
    void cancelPending(int32_t key);
    bool isPending(int32_t key, Direction direction) const;
    void clearPending(int32_t key, Direction direction);
    void findDisks();
    bool findDiskOfEntry(int32_t key);
    // The key of the entry with this path, compared without regard to case.
    std::optional<int32_t> findEntryByPath(const std::string& devicePath) const;

    bool contains(int32_t key) const { return m_entries.count(key) != 0; }
    const Entry* entry(int32_t key) const;
    std::vector<int32_t> keys() const;
    int size() const { return static_cast<int>(m_entries.size()); }

    // Single-sign transfers hold this for their whole run, so two never overlap.
    std::mutex& transferMutex() { return m_transferMutex; }

private:
    Entry* find(int32_t key);
    void destroyAll();
    static void closeEntry(Entry& entry);
    bool transfer(Entry& entry, bool reading, uint8_t* buffer, size_t length,
                  platform::WaitEvent* event);
    void lookUpDisk(Entry& entry);

    platform::HidBackend& m_backend;
    std::map<int32_t, Entry> m_entries;
    int32_t m_nextKey = 1;
    std::mutex m_transferMutex;
};
