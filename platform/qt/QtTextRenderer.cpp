#include "platform/qt/QtTextRenderer.h"

#include "platform/FontEquivalents.h"
#include "platform/qt/QtText.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdlib>

namespace platform {

namespace {

// Code units that would make Qt break the line, or end the text early (U+009C
// starts Qt's alternative texts), and that measuring and drawing would not
// treat alike.
bool breaksLine(char16_t c) {
    return (c >= u'\t' && c <= u'\r') || (c >= 0x1C && c <= 0x1F) || c == 0x85 || c == 0x9C ||
           c == 0x2028 || c == 0x2029;
}

// A run is one line on the sign: each such code unit becomes a space, the same
// for measuring and drawing, so the text is measured exactly as it is drawn.
QString singleLine(std::u16string_view s) {
    QString text = toQString(s);
    for (QChar& c : text)
        if (breaksLine(c.unicode())) c = QLatin1Char(' ');
    return text;
}

void paint(Bitmap& target, Rect box, const QFont& font, std::u16string_view text, uint32_t ink) {
    if (target.empty() || box.width <= 0 || box.height <= 0 || text.empty()) return;
    // The bitmap's pixels are painted in place.
    QImage image(reinterpret_cast<uchar*>(target.row(0)), target.width(), target.height(),
                 target.width() * 4, QImage::Format_ARGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setFont(font);
    painter.setPen(QColor::fromRgba(ink | 0xFF000000u));
    const QRect rect(box.x, box.y, box.width, box.height);
    painter.setClipRect(rect);
    painter.drawText(rect, Qt::AlignBottom | Qt::AlignHCenter | Qt::TextSingleLine,
                     singleLine(text));
}

}  // namespace

QtTextRenderer::QtTextRenderer(const FontCatalog& catalog) {
    for (std::u16string& family : catalog.families())
        m_installed.insert(std::move(family));
}

std::u16string QtTextRenderer::familyFor(std::u16string_view face) const {
    if (m_installed.count(std::u16string(face))) return std::u16string(face);
    for (std::u16string_view candidate : fontEquivalents(face))
        if (m_installed.count(std::u16string(candidate))) return std::u16string(candidate);
    return std::u16string(face);  // left to fontconfig's own substitution
}

QFont QtTextRenderer::qtFont(const LogFont& f, int extraSpacing) const {
    QFont font(toQString(familyFor(f.lfFaceName)));
    font.setPixelSize(std::max(1, std::abs(f.lfHeight)));
    font.setWeight(f.lfWeight >= 600 ? QFont::Bold : QFont::Normal);
    font.setItalic(f.lfItalic != 0);
    font.setUnderline(f.lfUnderline != 0);
    font.setStrikeOut(f.lfStrikeOut != 0);
    font.setKerning(false);
    font.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::NoSubpixelAntialias));
    font.setHintingPreference(QFont::PreferFullHinting);
    font.setLetterSpacing(QFont::AbsoluteSpacing, extraSpacing);
    return font;
}

TextSize QtTextRenderer::measure(const LogFont& font, std::u16string_view text, int extraSpacing) {
    const QFontMetrics metrics(qtFont(font, extraSpacing));
    return {text.empty() ? 0 : metrics.horizontalAdvance(singleLine(text)), metrics.height()};
}

void QtTextRenderer::draw(Bitmap& target, Rect box, const LogFont& font, std::u16string_view text,
                          int extraSpacing, uint32_t ink) {
    paint(target, box, qtFont(font, extraSpacing), text, ink);
}

void QtTextRenderer::drawDefault(Bitmap& target, Rect box, std::u16string_view text, uint32_t ink) {
    QFont font = QGuiApplication::font();
    font.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::NoSubpixelAntialias));
    paint(target, box, font, text, ink);
}

}  // namespace platform
