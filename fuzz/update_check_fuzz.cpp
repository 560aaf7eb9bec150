// Arbitrary bytes as the update server's answer to the manifest request: its
// status, its announced length, the body in chunks, then the manifest read and
// acted on with the user's answers taken from the input. The release file is
// fetched as the download window does. The manifest never stays behind, no
// partial download is left, the release file can only land in the downloads
// folder under a plain name, and every outcome is one the answers allow.
#include "FuzzFolder.h"
#include "platform/TextCodec.h"
#include "update/Download.h"
#include "update/UpdateCheck.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Texts : platform::TextLookup {
    std::u16string text(std::u16string_view key) const override { return std::u16string(key); }
    std::vector<platform::TextListEntry> list(std::u16string_view) const override { return {}; }
};

struct Answer {
    int status = 200;
    std::optional<int64_t> length;
    size_t chunk = 1;
    std::string body;
};

// Answers each fetch with the next answer; the last one repeats.
class ScriptedHttp : public platform::Http {
public:
    std::vector<Answer> answers;
    size_t fetches = 0;

    bool fetch(const std::string&, const HeadersSink& headers, const BodySink& body,
               const std::atomic<bool>* cancel, std::string* error) override {
        const Answer& a = answers[std::min(fetches++, answers.size() - 1)];
        if (!headers(a.status, a.length)) {
            if (error) *error = "stopped";
            return false;
        }
        for (size_t at = 0; at < a.body.size(); at += a.chunk) {
            if (cancel && cancel->load()) {
                if (error) *error = "cancelled";
                return false;
            }
            const size_t n = std::min(a.chunk, a.body.size() - at);
            if (!body(reinterpret_cast<const uint8_t*>(a.body.data() + at), n)) {
                if (error) *error = "cancelled";
                return false;
            }
        }
        return true;
    }
};

class Prompts : public update::UpdatePrompts {
public:
    Prompts(platform::Http& http, const std::filesystem::path& downloads, uint8_t answers)
        : m_http(http), m_downloads(downloads), m_answers(answers) {}

    int messages = 0, questions = 0, silent = 0, windows = 0, closes = 0;
    bool released = false;

    void message(const std::u16string&, update::PromptIcon) override { ++messages; }
    bool askYesNo(const std::u16string&) override {
        ++questions;
        return m_answers & 1;
    }
    bool silentPrompt(update::CDownLoadTipDlg& dialog) override {
        ++silent;
        dialog.m_check = m_answers >> 1 & 1;
        return m_answers >> 2 & 1;
    }
    bool downloadWindow(const std::string& url, const std::filesystem::path& destination,
                        const update::DownloadTexts&) override {
        ++windows;
        // Only a plain name in the downloads folder.
        const std::string name = destination.filename().string();
        if (destination.parent_path() != m_downloads || name.empty() || name == "." ||
            name == ".." || name.find('/') != std::string::npos)
            std::abort();
        if (url.empty()) std::abort();
        update::DownloadState state;
        std::string error;
        released = update::download(m_http, url, destination, state, &error);
        if (!released && error.empty()) std::abort();
        if (released && !std::filesystem::is_regular_file(destination)) std::abort();
        return m_answers >> 3 & 1;
    }
    void requestClose() override { ++closes; }

private:
    platform::Http& m_http;
    std::filesystem::path m_downloads;
    uint8_t m_answers;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    fuzzfolder::reset();
    const auto downloads = fuzzfolder::folder() / "DownLoads";
    std::filesystem::create_directories(downloads);

    static const int statuses[] = {200, 200, 200, 404, 0, 301, 500, 200};
    static const char* const urls[] = {
        "http://update.example/Update/GlimraUpdate.xml",
        "https://update.example/x/y/m.xml",
        "file:///srv/update/GlimraUpdate.xml",
        "http://update.example/",
        "GlimraUpdate.xml",
        "http://update.example/a%2Fb.xml",
        "http://update.example\\up\\manifest.xml",
        "http://update.example/..",
    };
    const uint8_t setup = data[0];
    const uint8_t answers = data[1];
    ScriptedHttp http;
    Answer manifest;
    manifest.status = statuses[setup & 7];
    manifest.body.assign(reinterpret_cast<const char*>(data + 3), size - 3);
    if (setup & 0x08) manifest.length = static_cast<int64_t>(manifest.body.size());
    if (setup & 0x10) manifest.length = static_cast<int64_t>(data[2]) << (setup >> 5 & 3) * 8;
    manifest.chunk = std::clamp<size_t>(data[2] * 8u + 1, 1, platform::Http::kHttpChunk);
    Answer release;
    release.length = 7;
    release.body = "release";
    http.answers = {manifest, release};

    Texts texts;
    int32_t autoUpdate = -1;
    const update::CheckContext context{http, texts, downloads, urls[setup >> 5],
                                       [&](int32_t v) { autoUpdate = v; }};
    Prompts prompts(http, downloads, answers);
    const bool silent = answers >> 4 & 1;
    const update::CheckOutcome outcome = update::runUpdateCheck(context, prompts, silent);

    using update::CheckOutcome;
    // Nothing but a release that came whole stays in the folder.
    if (fuzzfolder::entries(downloads) != (prompts.released ? 1u : 0u)) std::abort();
    if (silent && (prompts.messages != 0 || prompts.questions != 0)) std::abort();
    if (!silent && (prompts.silent != 0 || autoUpdate != -1)) std::abort();
    if (prompts.silent > 1 || prompts.questions > 1 || prompts.windows > 1) std::abort();
    if (silent && prompts.silent == 1 && autoUpdate != ((answers >> 1 & 1) ? 0 : 1)) std::abort();
    switch (outcome) {
        case CheckOutcome::failed:
        case CheckOutcome::latest:
            if (prompts.windows != 0 || prompts.silent != 0 || prompts.questions != 0) std::abort();
            break;
        case CheckOutcome::declined:
        case CheckOutcome::noDownloadUrl:
            if (prompts.windows != 0) std::abort();
            break;
        case CheckOutcome::notOpened:
        case CheckOutcome::opened:
            if (prompts.windows != 1) std::abort();
            break;
    }
    if ((outcome == CheckOutcome::opened) != (prompts.closes == 1)) std::abort();
    if (outcome == CheckOutcome::declined &&
        (silent ? (answers >> 2 & 1) != 0 : (answers & 1) != 0))
        std::abort();
    return 0;
}
