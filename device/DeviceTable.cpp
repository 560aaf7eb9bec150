#include "device/DeviceTable.h"

#include <algorithm>
#include <cctype>

namespace {

bool equalNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

}  // namespace

DeviceTable::Info DeviceTable::Entry::info() const {
    std::lock_guard lock(m_mutex);
    return m_info;
}

DeviceTable::~DeviceTable() {
    clear();
}

DeviceTable::EntryPtr DeviceTable::acquire(int32_t key) const {
    std::lock_guard lock(m_mutex);
    auto it = m_entries.find(key);
    return it == m_entries.end() ? nullptr : it->second;
}

bool DeviceTable::contains(int32_t key) const {
    std::lock_guard lock(m_mutex);
    return m_entries.count(key) != 0;
}

std::optional<DeviceTable::Info> DeviceTable::info(int32_t key) const {
    if (EntryPtr e = acquire(key)) return e->info();
    return std::nullopt;
}

std::vector<int32_t> DeviceTable::keys() const {
    std::lock_guard lock(m_mutex);
    std::vector<int32_t> out;
    for (const auto& [key, e] : m_entries)
        out.push_back(key);
    return out;
}

int DeviceTable::size() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_entries.size());
}

void DeviceTable::closeLocked(Entry& e) {
    if (e.m_readHandle) e.m_readHandle->cancel();
    if (e.m_writeHandle) e.m_writeHandle->cancel();
    e.m_readHandle.reset();
    e.m_writeHandle.reset();
    e.m_readPending = false;
    e.m_writePending = false;
}

void DeviceTable::retire(Entry& e) {
    e.cancel->store(true);
    std::lock_guard lock(e.m_mutex);
    closeLocked(e);
}

DeviceTable::EntryPtr DeviceTable::makeEntry(const platform::HidDeviceInfo& info) const {
    auto e = std::make_shared<Entry>();
    e->m_info.devicePath = info.path;
    e->m_info.containerId = info.containerId;
    e->m_info.portAddress = info.portAddress;
    return e;
}

void DeviceTable::clear() {
    std::map<int32_t, EntryPtr> old;
    {
        std::lock_guard lock(m_mutex);
        old.swap(m_entries);
    }
    for (auto& [key, e] : old)
        retire(*e);
}

int DeviceTable::searchSigns(uint16_t vendorId, uint16_t productId) {
    clear();
    const auto present = m_backend.enumerate();
    std::lock_guard lock(m_mutex);
    for (const auto& info : present) {
        if (info.vendorId != vendorId || info.productId != productId) continue;
        if (!m_entries.count(0)) m_entries.emplace(0, makeEntry(info));
        m_entries.emplace(m_nextKey++, makeEntry(info));
    }
    return static_cast<int>(m_entries.size());
}

std::optional<int32_t> DeviceTable::addArrived(const std::string& devicePath) {
    if (auto key = findEntryByPath(devicePath, true)) {
        if (EntryPtr e = acquire(*key)) findDiskOfEntry(*e);
        return key;
    }
    std::optional<platform::HidDeviceInfo> found;
    for (auto& info : m_backend.enumerate())
        if (equalNoCase(info.path, devicePath)) found = std::move(info);
    if (!found) return std::nullopt;
    EntryPtr e = makeEntry(*found);
    lookUpDisk(*e);
    std::lock_guard lock(m_mutex);
    // Another thread may have added it meanwhile.
    for (const auto& [key, other] : m_entries)
        if (key != 0 && equalNoCase(other->m_info.devicePath, devicePath)) return key;
    const int32_t key = m_nextKey++;
    m_entries.emplace(key, e);
    if (!m_entries.count(0)) m_entries.emplace(0, makeEntry(*found));
    return key;
}

std::vector<int32_t> DeviceTable::removePath(const std::string& devicePath) {
    std::vector<int32_t> keys;
    std::vector<EntryPtr> gone;
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_entries.begin(); it != m_entries.end();) {
            // The path never changes after the entry is made.
            if (!equalNoCase(it->second->m_info.devicePath, devicePath)) {
                ++it;
                continue;
            }
            if (it->first != 0) keys.push_back(it->first);
            gone.push_back(std::move(it->second));
            it = m_entries.erase(it);
        }
    }
    for (auto& e : gone)
        retire(*e);
    return keys;
}

bool DeviceTable::open(Entry& e) {
    std::lock_guard lock(e.m_mutex);
    closeLocked(e);
    if (e.cancelled()) return false;
    e.m_readHandle = m_backend.open(e.m_info.devicePath, platform::HidAccess::Read);
    e.m_writeHandle = m_backend.open(e.m_info.devicePath, platform::HidAccess::Write);
    if (!e.m_readHandle || !e.m_writeHandle) {
        closeLocked(e);
        return false;
    }
    if (!e.m_capabilities) e.m_capabilities = e.m_readHandle->capabilities();
    e.m_readHandle->setInputBuffers(e.m_capabilities ? e.m_capabilities->inputReportLength : 65);
    return true;
}

void DeviceTable::close(Entry& e) {
    std::lock_guard lock(e.m_mutex);
    closeLocked(e);
}

uint16_t DeviceTable::inputReportLength(const Entry& e) const {
    std::lock_guard lock(e.m_mutex);
    return e.m_capabilities ? e.m_capabilities->inputReportLength : 0;
}

uint16_t DeviceTable::outputReportLength(const Entry& e) const {
    std::lock_guard lock(e.m_mutex);
    return e.m_capabilities ? e.m_capabilities->outputReportLength : 0;
}

bool DeviceTable::transfer(Entry& e, bool reading, uint8_t* buffer, size_t length,
                           platform::WaitEvent* event) {
    std::lock_guard lock(e.m_mutex);
    auto& handle = reading ? e.m_readHandle : e.m_writeHandle;
    bool& pending = reading ? e.m_readPending : e.m_writePending;
    if (!handle) return false;
    const platform::HidIo io = pending ? handle->result() : handle->start(buffer, length, event);
    switch (io) {
        case platform::HidIo::Completed:
            pending = false;
            return true;
        case platform::HidIo::Pending:
            pending = true;
            return true;
        case platform::HidIo::Failed:
            break;
    }
    pending = false;
    handle->cancel();
    return false;
}

bool DeviceTable::write(Entry& e, const uint8_t* buffer, size_t length,
                        platform::WaitEvent* event) {
    // The handle only reads a write's buffer.
    return transfer(e, false, const_cast<uint8_t*>(buffer), length, event);
}

bool DeviceTable::read(Entry& e, uint8_t* buffer, size_t length, platform::WaitEvent* event) {
    return transfer(e, true, buffer, length, event);
}

void DeviceTable::cancelPending(Entry& e, Direction direction) {
    std::lock_guard lock(e.m_mutex);
    if ((direction & Read) && e.m_readHandle) e.m_readHandle->cancel();
    if ((direction & Write) && e.m_writeHandle) e.m_writeHandle->cancel();
    if (direction & Read) e.m_readPending = false;
    if (direction & Write) e.m_writePending = false;
}

bool DeviceTable::isPending(const Entry& e, Direction direction) const {
    std::lock_guard lock(e.m_mutex);
    return ((direction & Read) && e.m_readPending) || ((direction & Write) && e.m_writePending);
}

void DeviceTable::clearPending(Entry& e, Direction direction) {
    std::lock_guard lock(e.m_mutex);
    if (direction & Read) e.m_readPending = false;
    if (direction & Write) e.m_writePending = false;
}

void DeviceTable::lookUpDisk(Entry& e) {
    std::string containerId;
    {
        std::lock_guard lock(e.m_mutex);
        containerId = e.m_info.containerId;
    }
    std::optional<platform::HidDiskInfo> disk;
    if (!containerId.empty()) disk = m_backend.findDisk(containerId);
    std::lock_guard lock(e.m_mutex);
    e.m_info.diskPath = disk ? disk->diskPath : std::string();
    e.m_info.diskNumber = disk ? disk->diskNumber : 0;
    e.m_info.volumeName = disk ? disk->volumeName : std::string();
    e.m_info.rootPath = disk ? disk->rootPath : std::string();
}

bool DeviceTable::findDiskOfEntry(Entry& e) {
    const std::string path = e.info().devicePath;
    // The sign may have come back on another port since the search.
    for (const auto& info : m_backend.enumerate()) {
        if (equalNoCase(info.path, path)) {
            std::lock_guard lock(e.m_mutex);
            e.m_info.containerId = info.containerId;
            e.m_info.portAddress = info.portAddress;
            break;
        }
    }
    lookUpDisk(e);
    return !e.info().diskPath.empty();
}

void DeviceTable::findDisks() {
    std::vector<EntryPtr> all;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& [key, e] : m_entries)
            all.push_back(e);
    }
    for (auto& e : all)
        lookUpDisk(*e);
}

std::optional<int32_t> DeviceTable::findEntryByPath(const std::string& devicePath,
                                                    bool ownKeysOnly) const {
    std::lock_guard lock(m_mutex);
    for (const auto& [key, e] : m_entries)
        if ((key != 0 || !ownKeysOnly) && equalNoCase(e->m_info.devicePath, devicePath)) return key;
    return std::nullopt;
}

// By key.

bool DeviceTable::open(int32_t key) {
    EntryPtr e = acquire(key);
    return e && open(*e);
}

void DeviceTable::close(int32_t key) {
    if (EntryPtr e = acquire(key)) close(*e);
}

uint16_t DeviceTable::inputReportLength(int32_t key) const {
    EntryPtr e = acquire(key);
    return e ? inputReportLength(*e) : 0;
}

uint16_t DeviceTable::outputReportLength(int32_t key) const {
    EntryPtr e = acquire(key);
    return e ? outputReportLength(*e) : 0;
}

bool DeviceTable::write(int32_t key, const uint8_t* buffer, size_t length,
                        platform::WaitEvent* event) {
    EntryPtr e = acquire(key);
    return e && write(*e, buffer, length, event);
}

bool DeviceTable::read(int32_t key, uint8_t* buffer, size_t length, platform::WaitEvent* event) {
    EntryPtr e = acquire(key);
    return e && read(*e, buffer, length, event);
}

void DeviceTable::cancelPending(int32_t key, Direction direction) {
    if (EntryPtr e = acquire(key)) cancelPending(*e, direction);
}

bool DeviceTable::isPending(int32_t key, Direction direction) const {
    EntryPtr e = acquire(key);
    return e && isPending(*e, direction);
}

void DeviceTable::clearPending(int32_t key, Direction direction) {
    if (EntryPtr e = acquire(key)) clearPending(*e, direction);
}

bool DeviceTable::findDiskOfEntry(int32_t key) {
    EntryPtr e = acquire(key);
    return e && findDiskOfEntry(*e);
}
