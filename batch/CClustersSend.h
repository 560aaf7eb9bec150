#pragma once

#include "device/DeviceTable.h"
#include "platform/Clock.h"
#include "platform/HidBackend.h"
#include "platform/TextLookup.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// The batch send dialog: one row per attached sign, one worker per sign and
// Send, progress in the rows. Screen mode sends each row's screen (or one
// prepared image to all); firmware mode names firmware and software files.
// The UI thread calls the handlers; workers and the hot-plug watch reach the
// dialog only through messages posted back to that thread.
class CClustersSend {
public:
    enum Mode { MODE_SCREEN = 0, MODE_FIRMWARE = 1 };
    enum Column {
        COL_KEY = 0,
        COL_INDEX = 1,
        COL_ID = 2,
        COL_SOFTWARE = 3,
        COL_TARGET = 4,  // firmware file, or screen name
        COL_PROGRESS = 5,
        COL_COPY = 6,
    };
    static constexpr int kColumns = 7;

    // Row-update messages from the workers; wParam is the device key.
    static constexpr unsigned MSG_PACKETS = 0x0800;
    static constexpr unsigned MSG_SECONDS = 0x0801;
    static constexpr unsigned MSG_COPY_PROGRESS = 0x0802;
    static constexpr unsigned MSG_COPY_DONE = 0x0803;
    static constexpr unsigned MSG_COPY_CLEAR = 0x0804;

    static constexpr int IDC_SEND = 1003;
    static constexpr int IDC_CLOSE = 1130;
    static constexpr int IDC_AUTO_UPDATE = 1008;
    static constexpr int IDC_COPY_SOFT = 1009;

    // How a cell is edited in place.
    enum class Editor { None, ScreenList, FirmwareFile, SoftwareFile, Text };

    struct ColumnInfo {
        std::u16string caption;
        int width = 0;  // pixels; 0 hides the column
        Editor editor = Editor::None;
    };

    using Row = std::array<std::u16string, kColumns>;

    class View {
    public:
        virtual ~View() = default;
        // Rows or cells changed.
        virtual void refresh() = 0;
        // A file-open dialog with the filter ("name(*.x)|*.x||"); none when cancelled.
        virtual std::optional<std::u16string> openFile(const std::u16string& filter,
                                                       const std::u16string& current) = 0;
        virtual void closeDialog() = 0;
        // The dialog's own timer (10001 in firmware mode); onTimer(id) when it runs out.
        virtual void startTimer(int id, int milliseconds) = 0;
    };

    static constexpr int TIMER_AUTO_UPDATE = 10001;
    static constexpr int kAutoUpdateMs = 3000;
    // A job that only copies the software file.
    static constexpr uint8_t kKindCopyOnly = 255;
    static constexpr int IDC_DEFAULT_FIRMWARE = 1099;
    static constexpr int IDC_DEFAULT_SOFTWARE = 1100;
    // A firmware file larger than this is not a sign's firmware.
    static constexpr uintmax_t kMaxFirmwareBytes = 16u << 20;
    // A firmware file's bytes; empty when it cannot be read, is empty or is larger.
    static std::vector<uint8_t> readFirmware(const std::filesystem::path& file);

    // Runs a message on the dialog's thread, later; callable from any thread.
    using Poster = std::function<void(std::function<void()>)>;
    // The device image of the screen with this name (compared without regard
    // to case); empty when there is none.
    using ImageSource = std::function<std::vector<uint8_t>(const std::u16string& name)>;

    struct Services {
        DeviceTable& table;
        platform::Clock& clock;
        const platform::TextLookup& texts;
        Poster post;
    };

    // How one sign's last transfer ended, for whoever wants more than the row.
    struct SignResult {
        int32_t key = 0;
        int code = 0;  // the link's result, or batch::kTransferStopped
        uint32_t done = 0;
        uint32_t total = 0;
    };

    static constexpr uint32_t kRowColours[3] = {0xDCDCFF, 0xDCFFDC, 0xFFDCDC};
    static constexpr const char16_t* kFirmwareFilter = u"firmware files(*.bin)|*.bin||";
    static constexpr const char16_t* kSoftwareFilter = u"firmware files(*.*)|*.*||";

    // `screenNames` are the screens' names in tree order; the empty choice is
    // put first here. A non-empty `preparedImage` goes to every sign as it is.
    CClustersSend(Services services, Mode mode, std::vector<std::u16string> screenNames,
                  ImageSource images, std::vector<uint8_t> preparedImage = {});
    // Stops the workers and waits for them (each is at most one wait away).
    ~CClustersSend();
    CClustersSend(const CClustersSend&) = delete;
    CClustersSend& operator=(const CClustersSend&) = delete;

    void setView(View* view) { m_view = view; }

    // Handlers, on the dialog's thread.
    void onInitDialog();
    void onHotplug(const platform::HidHotplugEvent& event);
    // A double click (or Enter) on a cell: file dialogs for the file columns.
    void onEditCell(int row, int column);
    // The in-place editor's new text; a non-empty one fills down.
    void onCellEdited(int row, int column, const std::u16string& text);
    void onSend();
    void onClose();
    void onCloseByFrame();
    void onRowMessage(unsigned message, uint32_t key, uint32_t lParam);
    // The check boxes AutoUpdate and CopySoft as the user ticks them.
    void onAutoUpdate(bool ticked);
    void onCopySoftware(bool ticked);
    void onTimer(int id);
    // Copy progress of a sign's software file (message 0x0802).
    void onCopyProgress(uint32_t key, uint64_t copied, uint64_t total);
    // The hidden fields with the default firmware and software paths.
    void setDefaultFirmware(std::u16string path) { m_defaultFirmware = std::move(path); }
    void setDefaultSoftware(std::u16string path) { m_defaultSoftware = std::move(path); }
    const std::u16string& defaultFirmware() const { return m_defaultFirmware; }
    const std::u16string& defaultSoftware() const { return m_defaultSoftware; }
    // Send is disabled while AutoUpdate is ticked; the hidden fields show with their boxes.
    bool sendEnabled() const { return !m_autoUpdate; }
    bool fieldVisible(int id) const {
        return id == IDC_DEFAULT_FIRMWARE ? m_autoUpdate
                                          : id == IDC_DEFAULT_SOFTWARE && m_copySoftware;
    }

    // What the window shows.
    Mode mode() const { return m_mode; }
    std::u16string title() const;
    std::u16string controlText(int control) const;
    bool checkBoxesVisible() const { return m_mode == MODE_FIRMWARE; }
    bool autoUpdate() const { return m_autoUpdate; }
    bool copySoftware() const { return m_copySoftware; }
    const std::vector<ColumnInfo>& columns() const { return m_columns; }
    const std::vector<Row>& rows() const { return m_rows; }
    // The choices of the Screen column, the empty one first.
    const std::vector<std::u16string>& screenChoices() const { return m_screenChoices; }
    bool isOpen() const { return m_open; }

    // For zentari-cli and tests.
    int runningWorkers() const;
    // Waits for every worker to end. The caller must not take part in a
    // virtual clock's time.
    void joinWorkers();
    // The latest result of each sign that had a worker, by key.
    std::map<int32_t, SignResult> results() const;
    // How many images Send built (an image shared by rows counts once).
    int imagesBuilt() const { return m_imagesBuilt; }

    // What the workers share with the dialog; inside only.
    struct Shared;

private:
    struct Job {
        int32_t key = 0;
        uint8_t kind = 0;
        std::vector<uint8_t> data;
        std::u16string software;  // copied to the sign's disk; empty for none
    };

    void setUpColumns();
    void fillRows();
    void appendRow(int32_t key, const std::optional<DeviceTable::Info>& info);
    void renumberFrom(size_t position);
    int rowOfKey(uint32_t key) const;
    void startWorker(Job job);
    void sendFirmware();
    static void copySoftware(const std::shared_ptr<Shared>& shared, DeviceTable::Entry& entry,
                             const Job& job);
    // Column 6 of a sign's row says why its software was not copied.
    void onCopyRefused(uint32_t key, const std::u16string& why);
    void stop();
    static void runJob(const std::shared_ptr<Shared>& shared, const Job& job);

    Services m_services;
    Mode m_mode;
    std::vector<std::u16string> m_screenChoices;
    ImageSource m_images;
    std::vector<uint8_t> m_prepared;
    std::map<std::u16string, std::vector<uint8_t>> m_cache;
    std::vector<ColumnInfo> m_columns;
    std::vector<Row> m_rows;
    bool m_autoUpdate = false;
    bool m_copySoftware = false;
    std::u16string m_defaultFirmware;
    std::u16string m_defaultSoftware;
    View* m_view = nullptr;
    bool m_open = true;
    int m_imagesBuilt = 0;

    std::shared_ptr<Shared> m_shared;
    std::unique_ptr<platform::HidWatch> m_watch;
    std::vector<std::jthread> m_workers;
};
