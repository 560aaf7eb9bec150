#include "assets/CImgInfoDlg.h"

#include "assets/PictureLibrary.h"
#include "platform/Format.h"
#include "platform/TextCodec.h"

#include <algorithm>

CImgInfoDlg::CImgInfoDlg(const platform::TextLookup& texts, platform::ImageCodec& codec,
                         std::vector<PictureRecord> records)
    : m_texts(texts),
      m_codec(codec),
      m_records(std::move(records)),
      m_preview(kPreviewWidth, kPreviewHeight, platform::kBlack) {
    m_captions.title = texts.text(u"ImageSetting");
    m_captions.add = texts.text(u"Add");
    m_captions.remove = texts.text(u"Remove");
    m_captions.width = texts.text(u"Width");
    m_captions.height = texts.text(u"Height");
    m_captions.zoom = texts.text(u"Zoom");
    m_captions.ok = texts.text(u"OK");
    m_captions.cancel = texts.text(u"Cancel");
    m_captions.id = u"ID";
    m_captions.max = u" MAX: 50";
}

void CImgInfoDlg::onInitDialog() {
    fillIdList();
    m_selection = m_entries.empty() ? -1 : 0;
    showSelected();
}

PictureRecord* CImgInfoDlg::selected() {
    if (m_selection < 0 || m_selection >= static_cast<int>(m_entries.size())) return nullptr;
    const int32_t id = m_entries[m_selection].id;
    auto it = std::find_if(m_records.begin(), m_records.end(),
                           [id](const auto& r) { return r.nValueID == id; });
    return it == m_records.end() ? nullptr : &*it;
}

void CImgInfoDlg::fillIdList() {
    const bool had = m_selection >= 0 && m_selection < static_cast<int>(m_entries.size());
    const int32_t remembered = had ? m_entries[m_selection].id : 0;
    m_entries.clear();
    for (const PictureRecord& r : m_records)
        m_entries.push_back({platform::format(u"IMG%.2d", {r.nValueID}), r.nValueID});
    m_selection = m_entries.empty() ? -1 : 0;
    if (had)
        for (size_t i = 0; i < m_entries.size(); ++i)
            if (m_entries[i].id == remembered) m_selection = static_cast<int>(i);
}

void CImgInfoDlg::showSelected() {
    if (const PictureRecord* r = selected()) {
        m_width = std::clamp(r->nDestWidth, kMinSize, kMaxSize);
        m_height = std::clamp(r->nDestHeight, kMinSize, kMaxSize);
        m_path = r->imgPath;
        m_zoom = r->bZoom != 0;
    }
    drawPreview();
    refresh();
}

const platform::Bitmap* CImgInfoDlg::picture(const std::u16string& path) {
    if (path != m_decodedPath || m_decodedPath.empty()) {
        m_decodedPath = path;
        m_decoded = {};
        m_decodedOk = !path.empty() && m_codec.load(platform::utf16ToUtf8(path), m_decoded);
    }
    return m_decodedOk ? &m_decoded : nullptr;
}

void CImgInfoDlg::drawPreview() {
    m_preview.fill(platform::kBlack);
    const PictureRecord* r = selected();
    if (!r) return;
    const platform::Bitmap* image = picture(r->imgPath);
    if (!image) return;
    const platform::Rect to{0, 0, r->nDestWidth, r->nDestHeight};
    if (r->bZoom)
        m_codec.drawScaled(*image, {0, 0, image->width(), image->height()}, m_preview, to);
    else
        m_preview.copyFrom(*image, to, 0, 0);
}

void CImgInfoDlg::selectEntry(int index) {
    m_selection = index >= 0 && index < static_cast<int>(m_entries.size()) ? index : -1;
    showSelected();
}

void CImgInfoDlg::add() {
    if (!m_view) return;
    for (const std::filesystem::path& file : m_view->chooseFiles(kFilterName, kFilterPattern)) {
        platform::Bitmap image;
        if (!m_codec.load(file, image)) continue;
        if (m_records.size() >= PictureLibrary::kMaxPictures) {
            m_view->messageBox(m_texts.text(u"MAX50"));
            break;
        }
        PictureRecord r = PictureLibrary::recordForSize(image.width(), image.height());
        r.nValueID = PictureLibrary::nextFreeId(m_records);
        r.imgPath = file.u16string();
        m_records.push_back(r);
        fillIdList();
        for (size_t i = 0; i < m_entries.size(); ++i)
            if (m_entries[i].id == r.nValueID) m_selection = static_cast<int>(i);
        showSelected();
    }
}

void CImgInfoDlg::remove() {
    const PictureRecord* r = selected();
    if (!r) return;
    const int32_t id = r->nValueID;
    m_records.erase(std::remove_if(m_records.begin(), m_records.end(),
                                   [id](const auto& p) { return p.nValueID == id; }),
                    m_records.end());
    m_width = m_height = kMinSize;
    m_path.clear();
    m_selection = -1;
    fillIdList();
    showSelected();
}

void CImgInfoDlg::setWidth(int width) {
    m_width = std::clamp(width, kMinSize, kMaxSize);
    if (PictureRecord* r = selected()) r->nDestWidth = m_width;
    drawPreview();
    refresh();
}

void CImgInfoDlg::setHeight(int height) {
    m_height = std::clamp(height, kMinSize, kMaxSize);
    if (PictureRecord* r = selected()) r->nDestHeight = m_height;
    drawPreview();
    refresh();
}

void CImgInfoDlg::setZoom(bool zoom) {
    m_zoom = zoom;
    if (PictureRecord* r = selected()) r->bZoom = zoom ? 1 : 0;
    drawPreview();
    refresh();
}
