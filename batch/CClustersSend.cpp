#include "batch/CClustersSend.h"

#include "batch/SignTransfer.h"
#include "device/LinkProtocol.h"
#include "platform/FileCopy.h"
#include "platform/Format.h"
#include "platform/StringUtil.h"
#include "platform/TextCodec.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>

using namespace std::chrono_literals;

// What the workers and the hot-plug watch share with the dialog. They hold it
// (never the dialog); the dialog lets go of `dialog` when it closes, so a
// message that arrives later finds nobody to tell.
struct CClustersSend::Shared {
    Shared(DeviceTable& t, platform::Clock& c, Poster p, CClustersSend* d)
        : table(t), clock(c), post(std::move(p)), dialog(d) {}

    DeviceTable& table;
    platform::Clock& clock;
    const Poster post;
    std::atomic<bool> running{true};
    std::atomic<int> workers{0};
    std::atomic<bool> copySoftware{false};

    std::mutex lock;  // the dialog's lock, around every row update
    CClustersSend* dialog;

    mutable std::mutex resultsMutex;
    std::map<int32_t, SignResult> results;
};

namespace {

using SharedPtr = std::shared_ptr<CClustersSend::Shared>;

std::u16string decimal(uint32_t value) {
    return platform::format(u"%u", {value});
}

std::optional<uint32_t> keyOf(const std::u16string& text) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    uint64_t value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - u'0');
    }
    if (value > UINT32_MAX) return std::nullopt;
    return static_cast<uint32_t>(value);
}

}  // namespace

CClustersSend::CClustersSend(Services services, Mode mode, std::vector<std::u16string> screenNames,
                             ImageSource images, std::vector<uint8_t> preparedImage)
    : m_services(std::move(services)),
      m_mode(mode),
      m_images(std::move(images)),
      m_prepared(std::move(preparedImage)) {
    m_screenChoices.push_back(u"");
    for (auto& name : screenNames)
        m_screenChoices.push_back(std::move(name));
    m_shared = std::make_shared<Shared>(m_services.table, m_services.clock, m_services.post, this);
    setUpColumns();
}

CClustersSend::~CClustersSend() {
    stop();
    joinWorkers();
}

void CClustersSend::stop() {
    m_shared->running.store(false);
    m_watch.reset();
    std::lock_guard lock(m_shared->lock);
    m_shared->dialog = nullptr;
}

std::u16string CClustersSend::title() const {
    return m_services.texts.text(u"BatchTx");
}

std::u16string CClustersSend::controlText(int control) const {
    switch (control) {
        case IDC_SEND:
            return m_services.texts.text(u"Send");
        case IDC_CLOSE:
            return m_services.texts.text(u"Close");
        case IDC_AUTO_UPDATE:
            return m_services.texts.text(u"AutoUpdate");
        case IDC_COPY_SOFT:
            return m_services.texts.text(u"CopySoft");
        default:
            return {};
    }
}

void CClustersSend::setUpColumns() {
    const platform::TextLookup& texts = m_services.texts;
    const bool firmware = m_mode == MODE_FIRMWARE;
    const bool prepared = !firmware && !m_prepared.empty();
    m_columns.assign(kColumns, {});
    m_columns[COL_INDEX] = {texts.text(u"Index"), 50, Editor::None};
    m_columns[COL_ID] = {texts.text(u"Id"), firmware ? 150 : prepared ? 510 : 250, Editor::None};
    m_columns[COL_SOFTWARE] = {texts.text(u"SoftName"), firmware ? 100 : 0,
                               firmware ? Editor::SoftwareFile : Editor::None};
    if (firmware)
        m_columns[COL_TARGET] = {texts.text(u"Firmware"), 160, Editor::FirmwareFile};
    else
        m_columns[COL_TARGET] = {texts.text(u"Screen"), prepared ? 0 : 260,
                                 prepared ? Editor::None : Editor::ScreenList};
    m_columns[COL_PROGRESS] = {texts.text(u"Progress"), 100, Editor::None};
    m_columns[COL_COPY] = {texts.text(u"Progress") + u"2", firmware ? 100 : 0,
                           firmware ? Editor::Text : Editor::None};
}

void CClustersSend::onInitDialog() {
    DeviceTable& table = m_services.table;
    table.searchSigns(signlink::kSignVendorId, signlink::kSignProductId);
    table.findDisks();
    fillRows();

    std::weak_ptr<Shared> weak = m_shared;
    m_watch = table.backend().watch([weak](const platform::HidHotplugEvent& event) {
        SharedPtr shared = weak.lock();
        if (!shared) return;
        shared->post([shared, event] {
            std::lock_guard lock(shared->lock);
            if (shared->dialog) shared->dialog->onHotplug(event);
        });
    });
    if (m_view) m_view->refresh();
}

void CClustersSend::fillRows() {
    m_rows.clear();
    for (int32_t key : m_services.table.keys()) {
        if (key == 0) continue;
        appendRow(key, m_services.table.info(key));
    }
}

void CClustersSend::appendRow(int32_t key, const std::optional<DeviceTable::Info>& info) {
    Row row;
    row[COL_KEY] = decimal(static_cast<uint32_t>(key));
    row[COL_INDEX] = platform::format(u"% 3u", {static_cast<unsigned>(m_rows.size() + 1)});
    const int32_t port = info ? info->portAddress : -1;
    row[COL_ID] = port < 0 ? std::u16string(u"USB[FF]")
                           : platform::format(u"USB[%u]", {static_cast<unsigned>(port)});
    m_rows.push_back(std::move(row));
}

void CClustersSend::renumberFrom(size_t position) {
    for (size_t k = position; k < m_rows.size(); ++k)
        m_rows[k][COL_INDEX] = platform::format(u"% 3u", {static_cast<unsigned>(k + 1)});
}

int CClustersSend::rowOfKey(uint32_t key) const {
    const std::u16string text = decimal(key);
    for (size_t k = 0; k < m_rows.size(); ++k)
        if (m_rows[k][COL_KEY] == text) return static_cast<int>(k);
    return -1;
}

void CClustersSend::onHotplug(const platform::HidHotplugEvent& event) {
    if (!m_open) return;
    DeviceTable& table = m_services.table;
    if (event.kind == platform::HidHotplugEvent::Kind::Removed) {
        for (int32_t key : table.removePath(event.path)) {
            const int row = rowOfKey(static_cast<uint32_t>(key));
            if (row < 0) continue;
            m_rows.erase(m_rows.begin() + row);
            renumberFrom(static_cast<size_t>(row));
        }
        if (m_view) m_view->refresh();
        return;
    }
    if (event.vendorId != signlink::kSignVendorId || event.productId != signlink::kSignProductId)
        return;
    const bool known = table.findEntryByPath(event.path, true).has_value();
    // A sign that has just come needs a moment before its disk can be found.
    if (!known) m_services.clock.sleepFor(100ms);
    const auto key = table.addArrived(event.path);
    if (!key) return;
    // The sign of an arrival the table knew already keeps its row.
    if (rowOfKey(static_cast<uint32_t>(*key)) >= 0) return;
    appendRow(*key, table.info(*key));
    Row& row = m_rows.back();
    const Row* previous = m_rows.size() > 1 ? &m_rows[m_rows.size() - 2] : nullptr;
    row[COL_TARGET] = !m_defaultFirmware.empty() ? m_defaultFirmware
                      : previous                 ? (*previous)[COL_TARGET]
                                                 : std::u16string();
    row[COL_SOFTWARE] = !m_defaultSoftware.empty() ? m_defaultSoftware
                        : previous                 ? (*previous)[COL_SOFTWARE]
                                                   : std::u16string();
    if (m_view) m_view->refresh();
}

void CClustersSend::onEditCell(int row, int column) {
    if (!m_view || row < 0 || row >= static_cast<int>(m_rows.size())) return;
    if (column < 0 || column >= kColumns || m_columns[column].width == 0) return;
    const char16_t* filter = nullptr;
    if (m_columns[column].editor == Editor::FirmwareFile) filter = kFirmwareFilter;
    if (m_columns[column].editor == Editor::SoftwareFile) filter = kSoftwareFilter;
    if (!filter) return;
    const std::u16string key = m_rows[row][COL_KEY];
    const auto path = m_view->openFile(filter, m_rows[row][column]);
    // Signs may have come or gone while the file dialog was open.
    if (!path) return;
    for (size_t k = 0; k < m_rows.size(); ++k)
        if (m_rows[k][COL_KEY] == key) onCellEdited(static_cast<int>(k), column, *path);
}

void CClustersSend::onCellEdited(int row, int column, const std::u16string& text) {
    if (row < 0 || row >= static_cast<int>(m_rows.size())) return;
    if (column != COL_SOFTWARE && column != COL_TARGET && column != COL_COPY) return;
    if (m_columns[column].editor == Editor::None) return;
    m_rows[row][column] = text;
    // Choosing on one row chooses for every row below it.
    if (!text.empty())
        for (size_t k = static_cast<size_t>(row) + 1; k < m_rows.size(); ++k)
            m_rows[k][column] = text;
    if (m_view) m_view->refresh();
}

void CClustersSend::onSend() {
    if (!m_open) return;
    if (m_mode == MODE_FIRMWARE) {
        if (!m_autoUpdate) sendFirmware();
        return;
    }
    const DeviceTable& table = m_services.table;
    if (!m_prepared.empty()) {
        for (const Row& row : m_rows) {
            auto key = keyOf(row[COL_KEY]);
            if (key && table.contains(static_cast<int32_t>(*key)))
                startWorker(
                    {static_cast<int32_t>(*key), signlink::KIND_ANIMATION_SET, m_prepared, {}});
        }
        return;
    }
    m_cache.clear();
    for (const Row& row : m_rows) {
        const std::u16string& name = row[COL_TARGET];
        if (name.empty()) continue;
        if (auto it = m_cache.find(name); it != m_cache.end() && !it->second.empty()) continue;
        m_cache[name] = m_images ? m_images(name) : std::vector<uint8_t>();
        ++m_imagesBuilt;
    }
    for (const Row& row : m_rows) {
        auto key = keyOf(row[COL_KEY]);
        auto image = m_cache.find(row[COL_TARGET]);
        if (!key || image == m_cache.end() || image->second.empty()) continue;
        if (table.contains(static_cast<int32_t>(*key)))
            startWorker(
                {static_cast<int32_t>(*key), signlink::KIND_DEVICE_IMAGE, image->second, {}});
    }
}

std::vector<uint8_t> CClustersSend::readFirmware(const std::filesystem::path& file) {
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(file, ec);
    if (ec || size > kMaxFirmwareBytes) return {};
    std::ifstream in(file, std::ios::binary);
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)))
        return {};
    return bytes;
}

void CClustersSend::sendFirmware() {
    const DeviceTable& table = m_services.table;
    if (!m_autoUpdate) m_cache.clear();
    for (const Row& row : m_rows) {
        const std::u16string& path = row[COL_TARGET];
        if (path.empty()) continue;
        if (auto it = m_cache.find(path); it != m_cache.end() && !it->second.empty()) continue;
        if (auto bytes = readFirmware(std::filesystem::path(path)); !bytes.empty())
            m_cache[path] = std::move(bytes);
    }
    for (const Row& row : m_rows) {
        const auto key = keyOf(row[COL_KEY]);
        if (!key || !table.contains(static_cast<int32_t>(*key))) continue;
        const bool eligible = !m_autoUpdate || row[COL_PROGRESS].empty();
        const bool copy = m_copySoftware && row[COL_COPY].empty();
        auto content = m_cache.find(row[COL_TARGET]);
        if (content != m_cache.end() && !content->second.empty() && eligible) {
            startWorker({static_cast<int32_t>(*key), signlink::KIND_FIRMWARE_DATA, content->second,
                         copy ? row[COL_SOFTWARE] : std::u16string()});
        } else if (copy) {
            startWorker({static_cast<int32_t>(*key), kKindCopyOnly, {}, row[COL_SOFTWARE]});
        }
    }
}

void CClustersSend::onAutoUpdate(bool ticked) {
    if (m_mode != MODE_FIRMWARE) return;
    if (!ticked) {
        m_autoUpdate = false;
        if (m_view) m_view->refresh();
        return;
    }
    std::u16string path = m_defaultFirmware;
    if (path.empty() && !m_rows.empty()) path = m_rows.back()[COL_TARGET];
    if (path.empty() && m_view) path = m_view->openFile(kFirmwareFilter, {}).value_or(u"");
    m_defaultFirmware = path;
    for (Row& row : m_rows)
        if (row[COL_TARGET].empty()) row[COL_TARGET] = path;
    m_autoUpdate = true;
    if (m_view) {
        m_view->startTimer(TIMER_AUTO_UPDATE, kAutoUpdateMs);
        m_view->refresh();
    }
}

void CClustersSend::onCopySoftware(bool ticked) {
    if (m_mode != MODE_FIRMWARE) return;
    if (ticked) {
        std::u16string path = m_defaultSoftware;
        if (path.empty() && !m_rows.empty()) path = m_rows.back()[COL_SOFTWARE];
        if (path.empty() && m_view) path = m_view->openFile(kSoftwareFilter, {}).value_or(u"");
        // A cancelled choice leaves the box unticked and everything as it was.
        if (path.empty()) {
            m_copySoftware = false;
            if (m_view) m_view->refresh();
            return;
        }
        m_defaultSoftware = path;
        for (Row& row : m_rows)
            if (row[COL_SOFTWARE].empty()) row[COL_SOFTWARE] = path;
    }
    m_copySoftware = ticked;
    m_shared->copySoftware.store(ticked);
    if (m_view) m_view->refresh();
}

void CClustersSend::onTimer(int id) {
    if (id == TIMER_AUTO_UPDATE && m_open && m_autoUpdate) sendFirmware();
}

void CClustersSend::onCopyProgress(uint32_t key, uint64_t copied, uint64_t total) {
    const int row = rowOfKey(key);
    if (row < 0) return;
    m_rows[row][COL_COPY] = platform::toDecimal(static_cast<int64_t>(copied)) + u"/" +
                            platform::toDecimal(static_cast<int64_t>(total));
    if (m_view) m_view->refresh();
}

void CClustersSend::onCopyRefused(uint32_t key, const std::u16string& why) {
    const int row = rowOfKey(key);
    if (row < 0) return;
    m_rows[row][COL_COPY] = why;
    if (m_view) m_view->refresh();
}

void CClustersSend::startWorker(Job job) {
    // Threads of earlier sends that have ended are let go of here.
    if (m_shared->workers.load() == 0) m_workers.clear();
    ++m_shared->workers;
    SharedPtr shared = m_shared;
    m_workers.push_back(m_services.clock.startThread(
        [shared, job = std::move(job)](std::stop_token) { runJob(shared, job); }));
}

namespace {

// Runs `deliver` with the dialog on its thread, unless it has closed meanwhile.
void postToDialog(const SharedPtr& shared, std::function<void(CClustersSend&)> deliver) {
    shared->post([shared, deliver = std::move(deliver)] {
        std::lock_guard lock(shared->lock);
        if (shared->dialog) deliver(*shared->dialog);
    });
}

uint32_t secondsNow(platform::Clock& clock) {
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<seconds>(clock.now().time_since_epoch()).count()) &
           0xFFFF;
}

}  // namespace

void CClustersSend::runJob(const SharedPtr& shared, const Job& job) {
    SignResult result{job.key, batch::kTransferStopped, 0, signlink::packetCount(job.data.size())};
    auto finish = [&] {
        {
            std::lock_guard lock(shared->resultsMutex);
            shared->results[job.key] = result;
        }
        --shared->workers;
    };
    DeviceTable& table = shared->table;
    DeviceTable::EntryPtr entry = table.acquire(job.key);
    if (!entry) {
        finish();
        return;
    }
    const uint32_t key = static_cast<uint32_t>(job.key);
    auto post = [&shared, key](unsigned message, uint32_t lParam) {
        postToDialog(shared, [=](CClustersSend& dlg) { dlg.onRowMessage(message, key, lParam); });
    };
    // A worker of an earlier Send on this sign finishes first.
    if (!entry->transferLock.lock(shared->clock,
                                  [&] { return shared->running.load() && !entry->cancelled(); })) {
        finish();
        return;
    }
    const bool firmware = job.kind == signlink::KIND_FIRMWARE_DATA;
    const uint32_t start = secondsNow(shared->clock);
    auto request = [&] {
        batch::firmwareRequest(table, *entry, shared->clock, shared->running, [&] {
            post(MSG_SECONDS, (secondsNow(shared->clock) << 16) | start);
        });
    };
    const bool copy = shared->copySoftware.load() && !job.software.empty();
    bool copied = false;
    if (copy && entry->info().rootPath.empty()) table.findDiskOfEntry(*entry);
    if (copy && !entry->info().rootPath.empty()) {
        if (firmware) request();
        copySoftware(shared, *entry, job);
        copied = true;
    }
    result.code = signlink::TRANSFER_OK;
    if (!job.data.empty()) {
        // The sign is asked twice before it takes the firmware.
        if (firmware) {
            request();
            if (batch::pause(shared->clock, std::chrono::milliseconds(500), shared->running,
                             *entry))
                request();
        }
        result.code =
            batch::sendToSign(table, *entry, shared->clock, shared->running, job.data, job.kind,
                              [&](uint32_t done, uint32_t total) {
                                  result.done = done;
                                  post(MSG_PACKETS, (total & 0xFFFF) << 16 | (done & 0xFFFF));
                              });
        table.close(*entry);
    }
    if (copy && !copied && table.findDiskOfEntry(*entry)) {
        if (firmware) request();
        copySoftware(shared, *entry, job);
    }
    table.close(*entry);
    entry->transferLock.unlock();
    finish();
}

void CClustersSend::copySoftware(const SharedPtr& shared, DeviceTable::Entry& entry,
                                 const Job& job) {
    const uint32_t key = static_cast<uint32_t>(job.key);
    const DeviceTable::Info info = entry.info();
    auto refuse = [&](std::u16string why) {
        postToDialog(shared, [key, why](CClustersSend& dlg) { dlg.onCopyRefused(key, why); });
    };
    platform::HidDiskInfo disk;
    disk.diskPath = info.diskPath;
    disk.diskNumber = info.diskNumber;
    disk.volumeName = info.volumeName;
    disk.rootPath = info.rootPath;
    disk.removable = true;
    // Everything on the disk goes first: only on a disk known to be this sign's own.
    if (!shared->table.backend().isOwnDisk(info.devicePath, disk)) {
        refuse(u"not the sign's own disk: nothing copied");
        return;
    }
    std::string error;
    const std::filesystem::path root = std::filesystem::path(info.rootPath);
    if (!platform::emptyFolder(root, &error)) {
        refuse(u"cannot empty the sign's disk: " + platform::utf8ToUtf16(error));
        return;
    }
    postToDialog(shared, [key](CClustersSend& dlg) { dlg.onCopyProgress(key, 0, 1); });
    const std::u16string& from = job.software;
    const size_t slash = from.find_last_of(u"\\/");
    const std::u16string name = slash == std::u16string::npos ? from : from.substr(slash + 1);
    const bool ok = platform::copyFile(
        std::filesystem::path(from), root / std::filesystem::path(name), entry.cancel.get(),
        [&](uint64_t copied, uint64_t total) {
            postToDialog(shared,
                         [=](CClustersSend& dlg) { dlg.onCopyProgress(key, copied, total); });
            return shared->running.load();
        },
        &error);
    postToDialog(shared, [key, ok](CClustersSend& dlg) {
        dlg.onRowMessage(ok ? MSG_COPY_DONE : MSG_COPY_CLEAR, key, 0);
    });
}

void CClustersSend::onRowMessage(unsigned message, uint32_t key, uint32_t lParam) {
    const int row = rowOfKey(key);
    if (row < 0) return;
    Row& cells = m_rows[row];
    switch (message) {
        case MSG_PACKETS:
            cells[COL_PROGRESS] = platform::format(u"%u/%u", {lParam & 0xFFFF, lParam >> 16});
            break;
        case MSG_SECONDS:
            cells[COL_PROGRESS] = decimal(((lParam >> 16) - (lParam & 0xFFFF)) & 0xFFFF);
            break;
        case MSG_COPY_DONE:
            cells[COL_COPY] = u"OK";
            break;
        case MSG_COPY_CLEAR:
            cells[COL_COPY].clear();
            break;
        default:
            return;
    }
    if (m_view) m_view->refresh();
}

void CClustersSend::onClose() {
    if (!m_open) return;
    m_open = false;
    stop();
    m_services.clock.sleepFor(100ms);
    if (m_view) m_view->closeDialog();
}

void CClustersSend::onCloseByFrame() {
    if (!m_open) return;
    m_open = false;
    stop();
    // The next single-sign command searches afresh.
    m_services.table.clear();
    m_services.clock.sleepFor(100ms);
    if (m_view) m_view->closeDialog();
}

int CClustersSend::runningWorkers() const {
    return m_shared->workers.load();
}

void CClustersSend::joinWorkers() {
    m_workers.clear();
}

std::map<int32_t, CClustersSend::SignResult> CClustersSend::results() const {
    std::lock_guard lock(m_shared->resultsMutex);
    return m_shared->results;
}
