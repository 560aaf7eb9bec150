#pragma once

#include "platform/Http.h"
#include "platform/TextLookup.h"
#include "update/CDownLoadDlg.h"
#include "update/CDownLoadTipDlg.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace update {

// The version the manifest's appVersion is compared with, exactly.
inline constexpr std::u16string_view kCurrentVersion = u"Zentari V3.9";

// Where the manifest is fetched: $ZENTARI_UPDATE_URL when set, else the address
// the build was configured with.
std::string manifestUrl();

enum class PromptIcon { none, information, question };

// What the check shows the user. It runs on the check's worker; a window face
// shows each modally on its own thread and waits for the answer.
class UpdatePrompts {
public:
    virtual ~UpdatePrompts() = default;
    // A message with an OK button.
    virtual void message(const std::u16string& text, PromptIcon icon) = 0;
    // Yes and No with the question icon; true for Yes.
    virtual bool askYesNo(const std::u16string& text) = 0;
    // Shows the silent prompt; true for OK. Its box's state ends up in `dialog.m_check`.
    virtual bool silentPrompt(CDownLoadTipDlg& dialog) = 0;
    // Runs the download window; true when it ended with OK (the user chose to open
    // the downloaded file).
    virtual bool downloadWindow(const std::string& url, const std::filesystem::path& destination,
                                const DownloadTexts& texts) = 0;
    // Closes the program as the window frame does.
    virtual void requestClose() = 0;
};

struct CheckContext {
    platform::Http& http;
    const platform::TextLookup& texts;
    std::filesystem::path downloads;  // the data folder's "DownLoads"
    std::string manifestUrl;
    // The silent prompt's one write: 1 unless the box asked not to remind again.
    std::function<void(int32_t)> setAutoUpdate;
};

enum class CheckOutcome {
    failed,         // no manifest, or not one
    latest,         // this is the newest version
    declined,       // newer, and the user said no
    noDownloadUrl,  // newer, but its release file has no usable name
    notOpened,      // newer, the download window ended with Cancel
    opened,         // newer, downloaded, and the user chose to open it
};

// One pass of the check, on the caller's thread: `silent` for the automatic one.
CheckOutcome runUpdateCheck(const CheckContext& context, UpdatePrompts& prompts, bool silent);

// The seven texts of the download window from the language table.
DownloadTexts downloadTexts(const platform::TextLookup& texts);

}  // namespace update

namespace update {

// The update's texts taken from a language table once, so a worker reads them
// while the window may switch its language.
class UpdateTexts : public platform::TextLookup {
public:
    explicit UpdateTexts(const platform::TextLookup& from);
    std::u16string text(std::u16string_view key) const override;
    std::vector<platform::TextListEntry> list(std::u16string_view) const override { return {}; }

private:
    std::vector<std::pair<std::u16string, std::u16string>> m_texts;
};

}  // namespace update
