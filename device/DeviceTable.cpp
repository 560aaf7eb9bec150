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

DeviceTable::~DeviceTable() {
    destroyAll();
}

DeviceTable::Entry* DeviceTable::find(int32_t key) {
    auto it = m_entries.find(key);
    return it == m_entries.end() ? nullptr : &it->second;
}

const DeviceTable::Entry* DeviceTable::entry(int32_t key) const {
    auto it = m_entries.find(key);
    return it == m_entries.end() ? nullptr : &it->second;
}

std::vector<int32_t> DeviceTable::keys() const {
    std::vector<int32_t> out;
    for (const auto& [key, e] : m_entries)
        out.push_back(key);
    return out;
}

void DeviceTable::closeEntry(Entry& e) {
    if (e.readHandle) e.readHandle->cancel();
    if (e.writeHandle) e.writeHandle->cancel();
    e.readHandle.reset();
    e.writeHandle.reset();
}

void DeviceTable::destroyAll() {
    for (auto& [key, e] : m_entries) {
        e.cancel->store(true);
        closeEntry(e);
    }
    m_entries.clear();
}

int DeviceTable::searchSigns(uint16_t vendorId, uint16_t productId) {
    destroyAll();
    for (const auto& info : m_backend.enumerate()) {
        if (info.vendorId != vendorId || info.productId != productId) continue;
        auto make = [&] {
            Entry e;
            e.devicePath = info.path;
            e.containerId = info.containerId;
            e.portAddress = info.portAddress;
            return e;
        };
        if (!m_entries.count(0)) m_entries.emplace(0, make());
        m_entries.emplace(m_nextKey++, make());
    }
    return size();
}

bool DeviceTable::open(int32_t key) {
    Entry* e = find(key);
    if (!e) return false;
    closeEntry(*e);
    e->readHandle = m_backend.open(e->devicePath, platform::HidAccess::Read);
    e->writeHandle = m_backend.open(e->devicePath, platform::HidAccess::Write);
    if (!e->readHandle || !e->writeHandle) {
        closeEntry(*e);
        return false;
    }
    if (!e->capabilities) e->capabilities = e->readHandle->capabilities();
    e->readHandle->setInputBuffers(e->capabilities ? e->capabilities->inputReportLength : 65);
    e->readPending = false;
    e->writePending = false;
    return true;
}

void DeviceTable::close(int32_t key) {
    if (Entry* e = find(key)) closeEntry(*e);
}

uint16_t DeviceTable::inputReportLength(int32_t key) const {
    const Entry* e = entry(key);
    return e && e->capabilities ? e->capabilities->inputReportLength : 0;
}

uint16_t DeviceTable::outputReportLength(int32_t key) const {
    const Entry* e = entry(key);
    return e && e->capabilities ? e->capabilities->outputReportLength : 0;
}

bool DeviceTable::transfer(Entry& e, bool reading, uint8_t* buffer, size_t length,
                           platform::WaitEvent* event) {
    auto& handle = reading ? e.readHandle : e.writeHandle;
    bool& pending = reading ? e.readPending : e.writePending;
    if (!handle) return false;
    platform::HidIo io;
    if (!pending) {
        io = handle->start(buffer, length, event);
    } else {
        io = handle->result();
    }
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

bool DeviceTable::write(int32_t key, const uint8_t* buffer, size_t length,
                        platform::WaitEvent* event) {
    Entry* e = find(key);
    // The handle only reads a write's buffer.
    return e && transfer(*e, false, const_cast<uint8_t*>(buffer), length, event);
}

bool DeviceTable::read(int32_t key, uint8_t* buffer, size_t length, platform::WaitEvent* event) {
    Entry* e = find(key);
    return e && transfer(*e, true, buffer, length, event);
}

void DeviceTable::cancelPending(int32_t key) {
    Entry* e = find(key);
    if (!e) return;
    if (e->readHandle) e->readHandle->cancel();
    if (e->writeHandle) e->writeHandle->cancel();
    e->readPending = false;
    e->writePending = false;
}

bool DeviceTable::isPending(int32_t key, Direction direction) const {
    const Entry* e = entry(key);
    if (!e) return false;
    return ((direction & Read) && e->readPending) || ((direction & Write) && e->writePending);
}

void DeviceTable::clearPending(int32_t key, Direction direction) {
    Entry* e = find(key);
    if (!e) return;
    if (direction & Read) e->readPending = false;
    if (direction & Write) e->writePending = false;
}

void DeviceTable::lookUpDisk(Entry& e) {
    e.diskPath.clear();
    e.diskNumber = 0;
    e.volumeName.clear();
    e.rootPath.clear();
    if (e.containerId.empty()) return;
    if (auto disk = m_backend.findDisk(e.containerId)) {
        e.diskPath = disk->diskPath;
        e.diskNumber = disk->diskNumber;
        e.volumeName = disk->volumeName;
        e.rootPath = disk->rootPath;
    }
}

void DeviceTable::findDisks() {
    for (auto& [key, e] : m_entries)
        lookUpDisk(e);
}

bool DeviceTable::findDiskOfEntry(int32_t key) {
    Entry* e = find(key);
    if (!e) return false;
    // The sign may have come back on another port since the search.
    for (const auto& info : m_backend.enumerate()) {
        if (equalNoCase(info.path, e->devicePath)) {
            e->containerId = info.containerId;
            e->portAddress = info.portAddress;
            break;
        }
    }
    lookUpDisk(*e);
    return !e->diskPath.empty();
}

std::optional<int32_t> DeviceTable::findEntryByPath(const std::string& devicePath) const {
    for (const auto& [key, e] : m_entries)
        if (equalNoCase(e.devicePath, devicePath)) return key;
    return std::nullopt;
}
