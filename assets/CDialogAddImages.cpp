#include "assets/CDialogAddImages.h"

#include "assets/AnimationLibrary.h"
#include "platform/Format.h"
#include "platform/TextCodec.h"

#include <algorithm>

CDialogAddImages::CDialogAddImages(const platform::TextLookup& texts, platform::ImageCodec& codec,
                                   std::filesystem::path libraryFile,
                                   std::filesystem::path programFolder, uint64_t& frameCounter)
    : m_texts(texts),
      m_codec(codec),
      m_libraryFile(std::move(libraryFile)),
      m_programFolder(std::move(programFolder)),
      m_frameCounter(frameCounter) {}

CDialogAddImages::~CDialogAddImages() {
    // The preview's timer never outlives the dialog.
    if (m_previewRow >= 0 && m_view) m_view->stopTimer(TIMER_PREVIEW);
}

std::u16string CDialogAddImages::title() const {
    return m_texts.text(u"GifImage");
}

std::u16string CDialogAddImages::controlText(int id) const {
    switch (id) {
        case IDOK:
            return m_texts.text(u"OK");
        case IDCANCEL:
            return m_texts.text(u"Cancel");
        case IDC_ADD:
            return m_texts.text(u"Add");
        case IDC_REMOVE:
            return m_texts.text(u"Remove");
        case IDC_PREVIEW:
            return previewRunning() ? m_texts.text(u"Stop") : m_texts.text(u"Preview");
        case IDC_UPDATE:
            return m_texts.text(u"Update");
        case ID_BATCH_TX:
            return m_texts.text(u"BatchTx");
        case IDC_UP:
            return u"\u25B2";
        case IDC_DOWN:
            return u"\u25BC";
        default:
            return {};
    }
}

std::u16string CDialogAddImages::columnCaption(int column) const {
    return column == 0 ? m_texts.text(u"Index") : m_texts.text(u"Path");
}

bool CDialogAddImages::isEnabled(int id) const {
    if (id == IDOK || id == IDCANCEL || id == IDC_ADD || id == IDC_REMOVE) return !previewRunning();
    return true;
}

void CDialogAddImages::onInitDialog() {
    AnimationLibrary::locate(m_libraryFile, m_programFolder);
    m_rows.clear();
    for (const auto& path :
         AnimationLibrary::paths(AnimationLibrary::read(m_libraryFile, m_programFolder))) {
        if (m_rows.size() == AnimationLibrary::kMaxAnimations) break;
        m_rows.push_back({{}, path});
    }
    renumber();
    showFirstFrame(m_rows.empty() ? -1 : 0);
    refresh();
}

void CDialogAddImages::renumber() {
    for (size_t k = 0; k < m_rows.size(); ++k)
        m_rows[k].position = platform::format(u"% 2d", {static_cast<int>(k)});
}

void CDialogAddImages::showFirstFrame(int row) {
    m_preview = platform::Bitmap();
    if (row < 0 || row >= static_cast<int>(m_rows.size())) return;
    std::vector<platform::ImageFrame> frames;
    if (m_codec.loadFrames(std::filesystem::path(platform::utf16ToUtf8(m_rows[row].path)),
                           frames) &&
        !frames.empty())
        m_preview = std::move(frames.front().image);
}

void CDialogAddImages::onSelectionChanged(std::vector<int> rows) {
    std::erase_if(rows, [this](int r) { return r < 0 || r >= static_cast<int>(m_rows.size()); });
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    const bool moved = rows != m_selection;
    m_selection = std::move(rows);
    if (moved && !m_selection.empty() && !previewRunning()) showFirstFrame(m_selection.front());
    refresh();
}

void CDialogAddImages::onAdd() {
    if (!m_view || previewRunning()) return;
    const auto files = m_view->chooseFiles(kFilterName, kFilterPattern);
    if (files.empty()) return;
    m_selection.clear();
    for (const auto& file : files) {
        if (m_rows.size() >= AnimationLibrary::kMaxAnimations) {
            m_view->messageBox(m_texts.text(u"MAX50"));
            break;
        }
        m_rows.push_back(
            {platform::format(u"% 2d", {static_cast<int>(m_rows.size())}), file.u16string()});
        m_selection = {static_cast<int>(m_rows.size()) - 1};
        m_changed = true;
    }
    if (!m_selection.empty()) showFirstFrame(m_selection.front());
    refresh();
}

void CDialogAddImages::onRemove() {
    if (m_selection.empty() || previewRunning()) return;
    const int last = m_selection.back();
    for (auto it = m_selection.rbegin(); it != m_selection.rend(); ++it)
        m_rows.erase(m_rows.begin() + *it);
    m_changed = true;
    m_selection.clear();
    if (!m_rows.empty()) {
        const int row = std::min(last, static_cast<int>(m_rows.size()) - 1);
        m_selection = {row};
        showFirstFrame(row);
    } else {
        m_preview = platform::Bitmap();
    }
    renumber();
    refresh();
}

void CDialogAddImages::onUp() {
    if (m_selection.size() != 1 || m_selection.front() == 0) return;
    const int row = m_selection.front();
    std::swap(m_rows[row].path, m_rows[row - 1].path);
    m_selection = {row - 1};
    refresh();
}

void CDialogAddImages::onDown() {
    if (m_selection.size() != 1 || m_selection.front() + 1 >= static_cast<int>(m_rows.size()))
        return;
    const int row = m_selection.front();
    std::swap(m_rows[row].path, m_rows[row + 1].path);
    m_selection = {row + 1};
    refresh();
}

void CDialogAddImages::onPreview() {
    if (previewRunning()) {
        stopPreview();
        refresh();
        return;
    }
    if (m_selection.empty() || !m_view) return;
    m_previewRow = m_selection.front();
    m_view->startTimer(TIMER_PREVIEW, kPreviewPeriodMs);
    refresh();
}

void CDialogAddImages::stopPreview() {
    if (!previewRunning()) return;
    m_previewRow = -1;
    if (m_view) m_view->stopTimer(TIMER_PREVIEW);
}

void CDialogAddImages::onTimer(int id) {
    if (id != TIMER_PREVIEW || !previewRunning()) return;
    if (m_previewRow >= static_cast<int>(m_rows.size())) return;
    std::vector<platform::ImageFrame> frames;
    m_codec.loadFrames(std::filesystem::path(platform::utf16ToUtf8(m_rows[m_previewRow].path)),
                       frames);
    // The frames go at the preview's own pace, whatever the GIF's delays say.
    if (frames.size() > 1) {
        const uint64_t frame = m_frameCounter % frames.size();
        m_preview = std::move(frames[frame].image);
        m_frameCounter = frame + 1;
        refresh();
    }
}

void CDialogAddImages::onOK() {
    stopPreview();
    std::vector<std::u16string> paths;
    for (const Row& row : m_rows)
        paths.push_back(row.path);
    std::string error;
    if (AnimationLibrary::write(m_libraryFile, paths, &error)) {
        if (m_view) m_view->postMessage(kMsgReloadAnimations, 0, 0);
    } else if (m_view) {
        // The dialog still closes; what was chosen is lost, so say why.
        m_view->messageBox(m_texts.text(u"SaveFailed") + u"\n" + platform::utf8ToUtf16(error));
    }
    if (m_changed) {
        if (m_view) m_view->postMessage(kMsgSendAnimations, 1, 0);
        m_changed = false;
    }
    if (m_view) m_view->endDialog(IDOK);
}

void CDialogAddImages::onCancel() {
    stopPreview();
    if (m_view) m_view->endDialog(IDCANCEL);
}

void CDialogAddImages::onUpdate(bool batch) {
    if (m_view) m_view->postMessage(kMsgSendAnimations, 1, batch ? 1 : 0);
    m_changed = false;
}
