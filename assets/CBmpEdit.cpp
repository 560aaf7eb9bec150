#include "assets/CBmpEdit.h"

#include "assets/PictureLibrary.h"
#include "platform/Format.h"
#include "platform/TextCodec.h"
#include "xml/CXmlDocument.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace {

std::u16string decimal(int value) {
    return platform::format(u"%d", {value});
}

int32_t toInt(const std::u16string& text) {
    return static_cast<int32_t>(std::strtol(platform::utf16ToUtf8(text).c_str(), nullptr, 10));
}

platform::ImageFormat formatOf(const std::filesystem::path& file) {
    std::string ext = file.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == ".jpg" || ext == ".jpeg") return platform::ImageFormat::Jpeg;
    if (ext == ".png") return platform::ImageFormat::Png;
    return platform::ImageFormat::Bmp24;
}

}  // namespace

CBmpEdit::CBmpEdit(Services services) : m_services(std::move(services)) {}

bool CBmpEdit::lit(int x, int y) const {
    return (m_picture.pixel(x, y) >> 16 & 0xFF) >= 128;
}

bool CBmpEdit::readSettings(std::filesystem::path& lastImage) {
    CXmlDocument doc;
    doc.LoadFile(settingsFile());
    if (!doc.FindChildElement(u"configFlag")) return false;
    if (doc.FindChildElement(u"m_nWidth")) m_width = toInt(doc.GetChildText());
    if (doc.FindChildElement(u"m_nHeight")) m_height = toInt(doc.GetChildText());
    if (doc.FindChildElement(u"m_bZoom")) m_zoom = toInt(doc.GetChildText()) != 0;
    if (doc.FindChildElement(u"lastImage")) lastImage = doc.GetChildText();
    // Below 1 means unset; above the limits is not a size this editor has.
    if (m_width < 1) m_width = kDefaultWidth;
    if (m_height < 1) m_height = kDefaultHeight;
    m_width = std::min(m_width, kPictureWidth);
    m_height = std::min(m_height, kPictureHeight);
    return true;
}

bool CBmpEdit::writeSettings(std::string* error) const {
    CXmlDocument doc = CXmlDocument::withHeader(CXmlDocument::Header::Comment, u"root");
    doc.EnterElement();
    doc.AddElement(u"configFlag", 0);
    doc.AddElement(u"m_nWidth", m_width);
    doc.AddElement(u"m_nHeight", m_height);
    doc.AddElement(u"m_bZoom", m_zoom ? 1 : 0);
    doc.AddElement(u"lastImage", lastImageFile().u16string());
    doc.LeaveElement();
    if (doc.SaveFile(settingsFile())) return true;
    if (error) *error = doc.GetFileError();
    return false;
}

void CBmpEdit::onInitDialog() {
    std::filesystem::path lastImage;
    readSettings(lastImage);
    const platform::TextLookup& t = m_services.texts;
    if (m_view) {
        m_view->setTitle(t.text(u"ImageEdit"));
        m_view->setControlText(IDC_WIDTH_LABEL, t.text(u"Width"));
        m_view->setControlText(IDC_HEIGHT_LABEL, t.text(u"Height"));
        m_view->setControlText(IDC_SAVE, t.text(u"Save"));
    }
    m_colour = kPen;
    resize();
    if (!lastImage.empty()) loadPicture(lastImage);
}

void CBmpEdit::resize() {
    if (!m_view) return;
    m_view->setControlText(IDC_WIDTH, decimal(m_width));
    m_view->setControlText(IDC_HEIGHT, decimal(m_height));
    m_view->resizeClient(clientWidth(), clientHeight());
    m_view->redraw();
}

platform::Bitmap CBmpEdit::currentPicture() const {
    platform::Bitmap out(m_width, m_height);
    for (int y = 0; y < m_height; ++y)
        for (int x = 0; x < m_width; ++x)
            out.setPixel(x, y, m_picture.pixel(x, y));
    return out;
}

void CBmpEdit::onClose() {
    std::string error;
    bool written = savePicture(lastImageFile());
    if (!written) error = lastImageFile().string();
    // The size is worth keeping even when the picture could not be.
    std::string why;
    if (!writeSettings(&why)) {
        written = false;
        error += (error.empty() ? "" : "\n") + settingsFile().string() + ": " + why;
    }
    if (!written && m_view)
        m_view->messageBox(m_services.texts.text(u"SaveFailed") + u"\n" +
                           platform::utf8ToUtf16(error));
}

bool CBmpEdit::loadPicture(const std::filesystem::path& file) {
    platform::Bitmap image;
    if (!m_services.images.load(file, image) || image.empty()) return false;
    if (m_zoom) {
        platform::Bitmap scaled(m_width, m_height);
        m_services.images.drawScaled(image, {0, 0, image.width(), image.height()}, scaled,
                                     {0, 0, m_width, m_height});
        image = std::move(scaled);
    }
    const int w = std::min(m_width, image.width());
    const int h = std::min(m_height, image.height());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            m_picture.setPixel(x, y, image.pixel(x, y) | 0xFF000000u);
    if (m_view) m_view->redraw();
    return true;
}

bool CBmpEdit::savePicture(const std::filesystem::path& file) const {
    return m_services.images.save(currentPicture(), file, formatOf(file));
}

void CBmpEdit::saveToLibrary() {
    const std::filesystem::path folder = m_services.dataFolder / "EditBmps";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    const auto seconds = static_cast<uint32_t>(m_services.now());
    const std::filesystem::path file = folder / (std::to_string(seconds) + ".bmp");
    if (!savePicture(file)) {
        if (m_view)
            m_view->messageBox(m_services.texts.text(u"SaveFailed") + u"\n" + file.u16string());
        return;
    }
    std::vector<PictureRecord> records = m_services.pictures();
    if (records.size() >= PictureLibrary::kMaxPictures) {
        if (m_view) m_view->messageBox(m_services.texts.text(u"MAX50"));
        return;
    }
    platform::Bitmap written;
    if (!m_services.images.load(file, written)) return;
    PictureRecord record = PictureLibrary::recordForSize(written.width(), written.height());
    record.nValueID = PictureLibrary::nextFreeId(records);
    record.imgPath = std::filesystem::absolute(file, ec).u16string();
    records.push_back(record);
    m_services.setPictures(std::move(records));
    if (m_services.typeIntoEditors)
        m_services.typeIntoEditors(platform::format(u"[%d]", {record.nValueID}));
}

void CBmpEdit::onButton(int id) {
    switch (id) {
        case IDC_PEN:
            m_colour = kPen;
            break;
        case IDC_ERASER:
            m_colour = kEraser;
            break;
        case IDC_CLEAR:
            m_picture = platform::Bitmap(kPictureWidth, kPictureHeight, platform::kBlack);
            if (m_view) m_view->redraw();
            break;
        case IDC_OPEN:
            if (!m_view) break;
            if (const auto file = m_view->openFileDialog(kOpenFilter)) loadPicture(*file);
            break;
        case IDC_SAVE_AS: {
            if (!m_view) break;
            const auto file = m_view->saveFileDialog(u"New", u"bmp", kSaveFilter);
            if (file && !savePicture(*file))
                m_view->messageBox(m_services.texts.text(u"SaveFailed") + u"\n" +
                                   file->u16string());
            break;
        }
        case IDC_SAVE:
            saveToLibrary();
            break;
        default:
            break;
    }
}

void CBmpEdit::onWidthArrow(int delta) {
    const int step = delta > 0 ? 1 : delta < 0 ? -1 : 0;
    const int w = std::clamp(m_width + step, 1, kPictureWidth);
    if (w == m_width) return;
    m_width = w;
    resize();
}

void CBmpEdit::onHeightArrow(int delta) {
    const int step = delta > 0 ? 1 : delta < 0 ? -1 : 0;
    const int h = std::clamp(m_height + step, 1, kPictureHeight);
    if (h == m_height) return;
    m_height = h;
    resize();
}

std::optional<std::pair<int, int>> CBmpEdit::cellAt(int x, int y) const {
    const int left = gridLeft();
    if (x < left || y < kGridTop || x >= left + kCell * m_width || y >= kGridTop + kCell * m_height)
        return std::nullopt;
    return std::make_pair((x - left) / kCell, (y - kGridTop) / kCell);
}

void CBmpEdit::paintLine(std::pair<int, int> from, std::pair<int, int> to) {
    // Every cell on the line, so a fast pointer leaves no gaps.
    const int dx = std::abs(to.first - from.first);
    const int dy = std::abs(to.second - from.second);
    const int steps = std::max(dx, dy);
    for (int i = 0; i <= steps; ++i) {
        const int x = steps == 0 ? to.first : from.first + (to.first - from.first) * i / steps;
        const int y = steps == 0 ? to.second : from.second + (to.second - from.second) * i / steps;
        m_picture.setPixel(x, y, m_dragColour);
    }
    if (m_view) m_view->redraw();
}

void CBmpEdit::onMouseDown(int x, int y, bool rightButton) {
    const auto cell = cellAt(x, y);
    if (!cell) return;
    m_drawing = true;
    m_dragColour = rightButton ? kEraser : m_colour;
    if (m_view) m_view->captureMouse(true);
    paintLine(*cell, *cell);
    m_lastCell = *cell;
}

void CBmpEdit::onMouseMove(int x, int y) {
    if (!m_drawing) return;
    const auto cell = cellAt(x, y);
    if (!cell) return;
    paintLine(m_lastCell.first < 0 ? *cell : m_lastCell, *cell);
    m_lastCell = *cell;
}

void CBmpEdit::onMouseUp() {
    if (!m_drawing) return;
    m_drawing = false;
    m_lastCell = {-1, -1};
    if (m_view) m_view->captureMouse(false);
}

platform::Bitmap CBmpEdit::drawGrid() const {
    const int w = kCell * m_width;
    const int h = kCell * m_height;
    platform::Bitmap grid(w + kLineWidth, h + kLineWidth, platform::kBlack);
    // Each cell: a circle inset by 2 on a black square.
    const double radius = (kCell - 4) / 2.0;
    for (int y = 0; y < m_height; ++y)
        for (int x = 0; x < m_width; ++x) {
            const uint32_t colour = lit(x, y) ? kLitColour : kDarkColour;
            const double cx = kCell * x + kCell / 2.0;
            const double cy = kCell * y + kCell / 2.0;
            for (int py = kCell * y + 2; py < kCell * y + kCell - 2; ++py)
                for (int px = kCell * x + 2; px < kCell * x + kCell - 2; ++px) {
                    const double ddx = px + 0.5 - cx;
                    const double ddy = py + 0.5 - cy;
                    if (ddx * ddx + ddy * ddy <= radius * radius) grid.setPixel(px, py, colour);
                }
        }
    for (int row = 0; row <= m_height; ++row)
        for (int t = 0; t < kLineWidth; ++t)
            for (int px = 0; px < grid.width(); ++px)
                grid.setPixel(px, std::min(kCell * row + t, grid.height() - 1), kLineColour);
    for (int col = 0; col <= m_width; ++col)
        for (int t = 0; t < kLineWidth; ++t)
            for (int py = 0; py < grid.height(); ++py)
                grid.setPixel(std::min(kCell * col + t, grid.width() - 1), py, kLineColour);
    return grid;
}
