// The update check and the download against a server of the test's own on 127.0.0.1.
#include "update/UpdateCheck.h"

#include "platform/curl/CurlHttp.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <map>

namespace {

namespace fs = std::filesystem;
using testing_support::HttpRoute;
using testing_support::LoopbackHttpServer;
using testing_support::readFile;
using testing_support::TempDir;

// Texts are their keys, so the test sees which one was shown.
struct KeyTexts : platform::TextLookup {
    std::u16string text(std::u16string_view key) const override { return std::u16string(key); }
    std::vector<platform::TextListEntry> list(std::u16string_view) const override { return {}; }
};

struct Prompts : update::UpdatePrompts {
    void message(const std::u16string& text, update::PromptIcon icon) override {
        shown.push_back(text);
        icons.push_back(icon);
    }
    bool askYesNo(const std::u16string& text) override {
        shown.push_back(text);
        return yes;
    }
    bool silentPrompt(update::CDownLoadTipDlg& tip) override {
        shown.push_back(tip.m_message);
        EXPECT_EQ(tip.m_title, u"Update");
        EXPECT_EQ(tip.m_checkText, u"DonotTips");
        tip.m_check = checkBox;
        return yes;
    }
    bool downloadWindow(const std::string& url, const fs::path& destination,
                        const update::DownloadTexts& texts) override {
        downloads.emplace_back(url, destination);
        EXPECT_EQ(texts.exitQuestion, u"ExitDownloading");
        return openIt;
    }
    void requestClose() override { ++closes; }

    bool yes = true;
    bool openIt = true;
    int32_t checkBox = 0;
    std::vector<std::u16string> shown;
    std::vector<update::PromptIcon> icons;
    std::vector<std::pair<std::string, fs::path>> downloads;
    int closes = 0;
};

class Check : public ::testing::Test {
protected:
    update::CheckOutcome check(const std::string& manifest, bool silent, Prompts& prompts,
                               std::optional<int32_t>* autoUpdate = nullptr) {
        LoopbackHttpServer server;
        HttpRoute route;
        route.body = manifest;
        server.route("/download/Update/GlimraUpdate.xml", route);
        server.start();
        const update::CheckContext context{m_http, m_texts, m_downloads,
                                           server.url("/download/Update/GlimraUpdate.xml"),
                                           [autoUpdate](int32_t value) {
                                               if (autoUpdate) *autoUpdate = value;
                                           }};
        const update::CheckOutcome outcome = update::runUpdateCheck(context, prompts, silent);
        // Read, then deleted whatever it held.
        EXPECT_FALSE(fs::exists(m_downloads / "GlimraUpdate.xml"));
        return outcome;
    }

    TempDir m_dir;
    fs::path m_downloads = m_dir / "DownLoads";
    platform::CurlHttp m_http;
    KeyTexts m_texts;
};

TEST_F(Check, TheManifestDecides) {
    fs::create_directories(m_downloads);
    const std::string latest =
        "<U><configFlag/><appVersion>Zentari V3.9</appVersion><downURL>x</downURL></U>";
    Prompts onDemand;
    EXPECT_EQ(check(latest, false, onDemand), update::CheckOutcome::latest);
    EXPECT_EQ(onDemand.shown, std::vector<std::u16string>{u"IsTheLatestVersion"});
    EXPECT_EQ(onDemand.icons[0], update::PromptIcon::information);
    Prompts silent;
    EXPECT_EQ(check(latest, true, silent), update::CheckOutcome::latest);
    EXPECT_TRUE(silent.shown.empty());

    // Exactly: a difference in case or blanks is a newer version.
    for (const char* version : {"zentari v3.9", "Zentari V3.9 ", " Zentari V3.9"}) {
        SCOPED_TRACE(version);
        Prompts no;
        no.yes = false;
        EXPECT_EQ(check(std::string("<U><configFlag/><appVersion>") + version + "</appVersion></U>",
                        false, no),
                  update::CheckOutcome::declined);
        EXPECT_EQ(no.shown, std::vector<std::u16string>{u"FindNewVersion"});
    }

    // configFlag alone: newer, and with no release file to fetch, nothing more.
    Prompts bare;
    EXPECT_EQ(check("<U><configFlag/></U>", false, bare), update::CheckOutcome::noDownloadUrl);
    EXPECT_EQ(bare.shown, std::vector<std::u16string>{u"FindNewVersion"});
    EXPECT_TRUE(bare.downloads.empty());

    // appVersion before configFlag is not seen; downURL is looked for after configFlag then.
    Prompts before;
    before.openIt = false;
    EXPECT_EQ(check("<U><appVersion>Zentari V3.9</appVersion><configFlag/>"
                    "<downURL>http://h/dl/zentari.deb</downURL></U>",
                    false, before),
              update::CheckOutcome::notOpened);
    ASSERT_EQ(before.downloads.size(), 1u);
    EXPECT_EQ(before.downloads[0].first, "http://h/dl/zentari.deb");
    EXPECT_EQ(before.downloads[0].second, m_downloads / "zentari.deb");
    EXPECT_EQ(before.closes, 0);

    // After appVersion the search starts again: a downURL before it is found.
    Prompts reset;
    EXPECT_EQ(check("<U><configFlag/><downURL>http://h/a.deb</downURL>"
                    "<appVersion>V4</appVersion></U>",
                    false, reset),
              update::CheckOutcome::opened);
    ASSERT_EQ(reset.downloads.size(), 1u);
    EXPECT_EQ(reset.downloads[0].first, "http://h/a.deb");
    EXPECT_EQ(reset.closes, 1);

    // Not a manifest: said only on demand.
    for (const char* broken :
         {"<U><appVersion>V4</appVersion>", "<U><appVersion>V4</appVersion></U>"}) {
        SCOPED_TRACE(broken);
        Prompts loud;
        EXPECT_EQ(check(broken, false, loud), update::CheckOutcome::failed);
        EXPECT_EQ(loud.shown, std::vector<std::u16string>{u"UpdateFailed"});
        EXPECT_EQ(loud.icons[0], update::PromptIcon::none);
        Prompts quiet;
        EXPECT_EQ(check(broken, true, quiet), update::CheckOutcome::failed);
        EXPECT_TRUE(quiet.shown.empty());
    }
}

TEST_F(Check, TheSilentPromptWritesAutoUpdateByEitherButton) {
    fs::create_directories(m_downloads);
    const std::string newer = "<U><configFlag/><appVersion>V4</appVersion></U>";
    for (const bool ok : {true, false}) {
        for (const int32_t box : {0, 1}) {
            SCOPED_TRACE(std::to_string(ok) + " " + std::to_string(box));
            Prompts prompts;
            prompts.yes = ok;
            prompts.checkBox = box;
            std::optional<int32_t> autoUpdate;
            const auto outcome = check(newer, true, prompts, &autoUpdate);
            EXPECT_EQ(prompts.shown, std::vector<std::u16string>{u"FindNewVersion"});
            EXPECT_EQ(autoUpdate, box ? 0 : 1);
            EXPECT_EQ(outcome,
                      ok ? update::CheckOutcome::noDownloadUrl : update::CheckOutcome::declined);
        }
    }
}

TEST_F(Check, NoServerIsAFailureOnDemandOnly) {
    fs::create_directories(m_downloads);
    LoopbackHttpServer server;
    server.start();
    const update::CheckContext context{
        m_http, m_texts, m_downloads, server.url("/download/Update/GlimraUpdate.xml"), {}};
    Prompts loud;
    EXPECT_EQ(update::runUpdateCheck(context, loud, false), update::CheckOutcome::failed);
    EXPECT_EQ(loud.shown, std::vector<std::u16string>{u"UpdateFailed"});
    const update::CheckContext noName{m_http, m_texts, m_downloads, "nothing-to-name", {}};
    Prompts again;
    EXPECT_EQ(update::runUpdateCheck(noName, again, false), update::CheckOutcome::failed);
}

TEST(LocalPath, OnlyPlainNamesInTheDownloadsFolder) {
    const fs::path downloads = "/d/DownLoads";
    fs::path out;
    ASSERT_TRUE(update::localPath("http://h/x/zentari_4.0.deb", downloads, out));
    EXPECT_EQ(out, downloads / "zentari_4.0.deb");
    ASSERT_TRUE(update::localPath("C:\\dl\\Setup.exe", downloads, out));
    EXPECT_EQ(out, downloads / "Setup.exe");
    ASSERT_TRUE(update::localPath("http://h/a%20b.deb", downloads, out));
    EXPECT_EQ(out, downloads / "a%20b.deb");
    const std::vector<std::string> refused = {
        "http://h/x/",     "http://h/..",   "http://h/.",   "http://h/a%2F..",
        "http://h/%2E%2E", "http://h/a\\b", "http://h/%00", std::string("http://h/a\0b", 12),
        "no-separator"};
    for (const std::string& bad : refused) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(update::localPath(bad, downloads, out));
    }
}

class Download : public ::testing::Test {
protected:
    bool fetch(const HttpRoute& route, std::string* error = nullptr,
               platform::Http* http = nullptr) {
        LoopbackHttpServer server;
        server.route("/f/release.deb", route);
        server.start();
        state.totalSize = 0;
        state.downloaded = 0;
        state.cancel = false;
        return update::download(http ? *http : m_http, server.url("/f/release.deb"), m_file, state,
                                error);
    }
    size_t filesLeft() const {
        size_t n = 0;
        for (const auto& entry : fs::directory_iterator(m_dir.path()))
            n += entry.is_regular_file();
        return n;
    }

    TempDir m_dir;
    fs::path m_file = m_dir / "release.deb";
    platform::CurlHttp m_http;
    update::DownloadState state;
};

TEST_F(Download, StatusAndNotFoundPages) {
    HttpRoute missing;
    missing.status = 404;
    missing.body = "gone";
    std::string error;
    EXPECT_FALSE(fetch(missing, &error));
    EXPECT_NE(error.find("404"), std::string::npos) << error;
    EXPECT_EQ(filesLeft(), 0u);

    // A small "200" page that says 404 is refused, and nothing is written.
    HttpRoute page;
    page.body = "<html><head><title>404 Not Found</title></head></html>";
    EXPECT_FALSE(fetch(page));
    EXPECT_EQ(filesLeft(), 0u);
    // The same words in a large file are its content; case matters too.
    HttpRoute large;
    large.body = page.body + std::string(20000, 'x');
    EXPECT_TRUE(fetch(large));
    EXPECT_EQ(readFile(m_file), large.body);
    EXPECT_EQ(state.totalSize, 20000 + static_cast<int64_t>(page.body.size()));
    HttpRoute upper;
    upper.body = "<TITLE>404</TITLE>";
    EXPECT_TRUE(fetch(upper));
    // After a zero byte the first chunk is no longer read as text.
    HttpRoute binary;
    binary.body = std::string("\x7f\x45\x4c\x46\0<title>404", 15);
    EXPECT_TRUE(fetch(binary));
    EXPECT_EQ(readFile(m_file), binary.body);
}

TEST_F(Download, WithoutALengthAndEmpty) {
    HttpRoute noLength;
    noLength.contentLength = false;
    noLength.body = std::string(50000, 'z');
    EXPECT_TRUE(fetch(noLength));
    EXPECT_EQ(state.totalSize, 0);
    EXPECT_EQ(state.downloaded, 50000);
    EXPECT_EQ(readFile(m_file), noLength.body);

    HttpRoute empty;
    EXPECT_TRUE(fetch(empty));
    EXPECT_TRUE(fs::exists(m_file));
    EXPECT_EQ(fs::file_size(m_file), 0u);
    EXPECT_EQ(filesLeft(), 1u);
}

TEST_F(Download, CancelledStalledAndCutShortLeaveNothing) {
    // Cancelled after the first chunk: no partial file, and an older one stays as it was.
    testing_support::writeFile(m_file, "the older release");
    struct CancelAfterFirst : platform::Http {
        CancelAfterFirst(platform::Http& inner, update::DownloadState& s) : m(inner), st(s) {}
        bool fetch(const std::string& url, const HeadersSink& h, const BodySink& b,
                   const std::atomic<bool>* cancel, std::string* error) override {
            return m.fetch(
                url, h,
                [&](const uint8_t* d, size_t n) {
                    const bool ok = b(d, n);
                    st.cancel = true;
                    return ok;
                },
                cancel, error);
        }
        platform::Http& m;
        update::DownloadState& st;
    } cancelling(m_http, state);
    HttpRoute big;
    big.body = std::string(200000, 'b');
    std::string error;
    EXPECT_FALSE(fetch(big, &error, &cancelling));
    EXPECT_EQ(error, "cancelled");
    EXPECT_EQ(readFile(m_file), "the older release");
    EXPECT_EQ(filesLeft(), 1u);

    // A server that accepts and never answers ends with the stall time-out.
    platform::CurlHttp impatient(
        platform::CurlTimeouts{std::chrono::seconds(5), std::chrono::seconds(1)});
    HttpRoute dead;
    dead.behaviour = HttpRoute::Behaviour::NeverAnswer;
    EXPECT_FALSE(fetch(dead, &error, &impatient));
    EXPECT_EQ(filesLeft(), 1u);

    // Cut short: the length promised more than came.
    HttpRoute cut;
    cut.body = std::string(30000, 'c');
    cut.behaviour = HttpRoute::Behaviour::CloseAfter;
    cut.bodyBytesFirst = 10000;
    EXPECT_FALSE(fetch(cut, &error));
    EXPECT_EQ(readFile(m_file), "the older release");
    EXPECT_EQ(filesLeft(), 1u);
}

}  // namespace
