#include "cli/UpdateCommand.h"

#include "app/AppFolders.h"
#include "platform/TextCodec.h"
#include "platform/curl/CurlHttp.h"
#include "update/UpdateCheck.h"

#include <unistd.h>

#include <cstdio>

namespace {

std::string utf8(const std::u16string& text) {
    return platform::utf16ToUtf8(text);
}

// The window's questions on the console: answered "yes" only with --download.
class ConsolePrompts : public update::UpdatePrompts {
public:
    ConsolePrompts(platform::Http& http, bool download) : m_http(http), m_download(download) {}

    void message(const std::u16string& text, update::PromptIcon) override {
        std::printf("%s\n", utf8(text).c_str());
    }
    bool askYesNo(const std::u16string& text) override {
        std::printf("%s %s\n", utf8(text).c_str(), m_download ? "[yes]" : "[no]");
        return m_download;
    }
    bool silentPrompt(update::CDownLoadTipDlg& tip) override { return askYesNo(tip.m_message); }
    bool downloadWindow(const std::string& url, const std::filesystem::path& destination,
                        const update::DownloadTexts& texts) override {
        update::DownloadState state;
        const bool terminal = ::isatty(STDERR_FILENO) == 1;
        int64_t shown = -1;
        // The progress line comes from the sink's thread, the only one here.
        class Progress : public platform::Http {
        public:
            Progress(platform::Http& inner, update::DownloadState& s, bool tty, int64_t& last)
                : m_inner(inner), m_state(s), m_tty(tty), m_last(last) {}
            bool fetch(const std::string& u, const HeadersSink& headers, const BodySink& body,
                       const std::atomic<bool>* cancel, std::string* error) override {
                return m_inner.fetch(
                    u, headers,
                    [&](const uint8_t* data, size_t size) {
                        const bool ok = body(data, size);
                        report();
                        return ok;
                    },
                    cancel, error);
            }

        private:
            void report() {
                const int64_t total = m_state.totalSize;
                const int64_t done = m_state.downloaded;
                const int64_t percent = total > 0 ? done * 100 / total : -1;
                if (!m_tty || percent == m_last) return;
                m_last = percent;
                if (percent >= 0)
                    std::fprintf(stderr, "\r%lld of %lld bytes (%lld%%)",
                                 static_cast<long long>(done), static_cast<long long>(total),
                                 static_cast<long long>(percent));
                else
                    std::fprintf(stderr, "\r%lld bytes", static_cast<long long>(done));
                std::fflush(stderr);
            }
            platform::Http& m_inner;
            update::DownloadState& m_state;
            bool m_tty;
            int64_t& m_last;
        } progress(m_http, state, terminal, shown);

        std::string error;
        const bool ok = update::download(progress, url, destination, state, &error);
        if (terminal && shown != -1) std::fputc('\n', stderr);
        if (!ok) {
            std::printf("%s\n", utf8(texts.failure).c_str());
            std::fprintf(stderr, "zentari-cli: %s: %s\n", url.c_str(), error.c_str());
            return false;
        }
        m_stored = destination;
        std::printf("%s %s\n", utf8(texts.destination).c_str(), destination.string().c_str());
        // The window would offer to open it and close the program; here it is only stored.
        return false;
    }
    void requestClose() override {}

    const std::filesystem::path& stored() const { return m_stored; }

private:
    platform::Http& m_http;
    bool m_download;
    std::filesystem::path m_stored;
};

}  // namespace

int updateCheckCommand(const std::vector<std::string>& args, const platform::TextLookup& english) {
    std::string url = update::manifestUrl();
    bool download = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--url" && i + 1 < args.size()) {
            url = args[++i];
        } else if (args[i] == "--download") {
            download = true;
        } else {
            std::fprintf(stderr, "zentari-cli: update-check takes [--url URL] [--download]\n");
            return 1;
        }
    }
    const AppFolders folders = AppFolders::fromEnvironment();
    folders.createDataSubFolders();
    const update::UpdateTexts texts(english);
    platform::CurlHttp http;
    ConsolePrompts prompts(http, download);
    const update::CheckContext context{http, texts, folders.dataFolder() / "DownLoads", url, {}};
    switch (update::runUpdateCheck(context, prompts, false)) {
        case update::CheckOutcome::latest:
            return 0;
        case update::CheckOutcome::declined:
            return 2;
        case update::CheckOutcome::notOpened:
        case update::CheckOutcome::opened:
            return prompts.stored().empty() ? 1 : 0;
        case update::CheckOutcome::failed:
        case update::CheckOutcome::noDownloadUrl:
            return 1;
    }
    return 1;
}
