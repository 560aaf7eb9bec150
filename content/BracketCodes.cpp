#include "content/BracketCodes.h"

#include "platform/Format.h"

namespace BracketCodes {

namespace {

int hexDigit(char16_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

}  // namespace

std::vector<Piece> split(std::u16string_view text) {
    std::vector<Piece> pieces;
    std::u16string pending;
    int animations = 0;
    auto flush = [&] {
        if (pending.empty()) return;
        Piece p;
        p.text = std::move(pending);
        pieces.push_back(std::move(p));
        pending.clear();
    };
    for (size_t i = 0; i < text.size();) {
        if (text[i] != '[' || i + 3 >= text.size() || text[i + 3] != ']') {
            pending += text[i++];
            continue;
        }
        flush();
        const char16_t c1 = text[i + 1], c2 = text[i + 2];
        Piece p;
        if (c1 == 'F' && (c2 == 'E' || c2 == 'F')) {
            p.kind = Piece::Kind::Temperature;
            p.fahrenheit = c2 == 'F';
            pieces.push_back(p);
        } else if (c1 >= '5' && c1 <= '9') {
            p.kind = Piece::Kind::Picture;
            p.picture = c1 - '0';
            if (c2 >= '0' && c2 <= '9') p.picture = p.picture * 10 + (c2 - '0');
            pieces.push_back(p);
        } else if (animations < kMaxAnimations) {
            ++animations;
            p.kind = Piece::Kind::Animation;
            p.animation = static_cast<uint8_t>(hexDigit(c1) << 4 | hexDigit(c2));
            pieces.push_back(p);
        }
        i += 4;
    }
    flush();
    return pieces;
}

std::u16string animationCode(int position) {
    return u"[" + platform::format(u"%02X", {static_cast<unsigned>(position) & 0xFF}) + u"]";
}

std::u16string pictureCode(int32_t id) {
    return u"[" + platform::format(u"%u", {id}).substr(0, 2) + u"]";
}

}  // namespace BracketCodes
