#include "update/UpdateCheck.h"

#include "platform/TextCodec.h"
#include "xml/CXmlDocument.h"

#include <cstdlib>

#ifndef ZENTARI_UPDATE_URL
#define ZENTARI_UPDATE_URL "http://update.zentari.org/download/Update/GlimraUpdate.xml"
#endif

namespace update {

std::string manifestUrl() {
    if (const char* url = std::getenv("ZENTARI_UPDATE_URL"); url && *url) return url;
    return ZENTARI_UPDATE_URL;
}

DownloadTexts downloadTexts(const platform::TextLookup& t) {
    return {t.text(u"SRCFile"),
            t.text(u"DestFile"),
            t.text(u"FileSize"),
            t.text(u"DownloadSpeed"),
            t.text(u"UpdatedSuccessfully"),
            t.text(u"UpdateFailed"),
            t.text(u"ExitDownloading")};
}

namespace {

struct Manifest {
    bool configFlag = false;
    std::u16string appVersion;
    std::u16string downUrl;
};

// The manifest file is read, then deleted whatever it held.
Manifest readManifest(const std::filesystem::path& file) {
    Manifest m;
    CXmlDocument doc;
    if (doc.LoadFile(file) && doc.FindChildElement(u"configFlag")) {
        m.configFlag = true;
        if (doc.FindChildElement(u"appVersion")) {
            m.appVersion = doc.GetChildText();
            doc.ResetChildPosition();
        }
        if (doc.FindChildElement(u"downURL")) m.downUrl = doc.GetChildText();
    }
    std::error_code ec;
    std::filesystem::remove(file, ec);
    return m;
}

}  // namespace

CheckOutcome runUpdateCheck(const CheckContext& context, UpdatePrompts& prompts, bool silent) {
    const platform::TextLookup& t = context.texts;
    const auto fail = [&] {
        if (!silent) prompts.message(t.text(u"UpdateFailed"), PromptIcon::none);
        return CheckOutcome::failed;
    };
    std::filesystem::path manifestFile;
    if (!localPath(context.manifestUrl, context.downloads, manifestFile)) return fail();
    DownloadState state;
    std::string error;
    if (!download(context.http, context.manifestUrl, manifestFile, state, &error)) return fail();
    const Manifest manifest = readManifest(manifestFile);
    if (!manifest.configFlag) return fail();

    if (manifest.appVersion == kCurrentVersion) {
        if (!silent) prompts.message(t.text(u"IsTheLatestVersion"), PromptIcon::information);
        return CheckOutcome::latest;
    }
    if (silent) {
        CDownLoadTipDlg tip(t.text(u"Update"), t.text(u"FindNewVersion"), t.text(u"OK"),
                            t.text(u"Cancel"), t.text(u"DonotTips"),
                            CDownLoadTipDlg::kQuestionIcon);
        const bool ok = prompts.silentPrompt(tip);
        if (context.setAutoUpdate) context.setAutoUpdate(tip.m_check ? 0 : 1);
        if (!ok) return CheckOutcome::declined;
    } else if (!prompts.askYesNo(t.text(u"FindNewVersion"))) {
        return CheckOutcome::declined;
    }
    const std::string url = platform::utf16ToUtf8(manifest.downUrl);
    std::filesystem::path releaseFile;
    if (!localPath(url, context.downloads, releaseFile)) return CheckOutcome::noDownloadUrl;
    if (!prompts.downloadWindow(url, releaseFile, downloadTexts(t))) return CheckOutcome::notOpened;
    prompts.requestClose();
    return CheckOutcome::opened;
}

}  // namespace update

namespace update {

UpdateTexts::UpdateTexts(const platform::TextLookup& from)
    : m_texts{{u"Update", from.text(u"Update")},
              {u"FindNewVersion", from.text(u"FindNewVersion")},
              {u"OK", from.text(u"OK")},
              {u"Cancel", from.text(u"Cancel")},
              {u"DonotTips", from.text(u"DonotTips")},
              {u"SRCFile", from.text(u"SRCFile")},
              {u"DestFile", from.text(u"DestFile")},
              {u"FileSize", from.text(u"FileSize")},
              {u"DownloadSpeed", from.text(u"DownloadSpeed")},
              {u"UpdatedSuccessfully", from.text(u"UpdatedSuccessfully")},
              {u"UpdateFailed", from.text(u"UpdateFailed")},
              {u"ExitDownloading", from.text(u"ExitDownloading")},
              {u"IsTheLatestVersion", from.text(u"IsTheLatestVersion")}} {}

std::u16string UpdateTexts::text(std::u16string_view key) const {
    for (const auto& [k, v] : m_texts)
        if (k == key) return v;
    return std::u16string(key);
}

}  // namespace update
