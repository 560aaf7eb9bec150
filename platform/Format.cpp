#include "platform/Format.h"

#include <vector>

namespace platform {

namespace {

std::u16string digits(uint64_t v, unsigned base, bool upper) {
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::u16string out;
    do {
        out.insert(out.begin(), static_cast<char16_t>(set[v % base]));
        v /= base;
    } while (v);
    return out;
}

}  // namespace

std::u16string format(std::u16string_view fmt, std::initializer_list<FormatArg> args) {
    std::u16string out;
    out.reserve(fmt.size() + 16);
    auto arg = args.begin();
    for (size_t i = 0; i < fmt.size(); ++i) {
        if (fmt[i] != '%') {
            out += fmt[i];
            continue;
        }
        if (++i >= fmt.size()) {
            out += u'%';
            break;
        }
        bool left = false, plus = false, space = false, zero = false;
        for (;; ++i) {
            if (i >= fmt.size()) return out;
            const char16_t f = fmt[i];
            if (f == '-')
                left = true;
            else if (f == '+')
                plus = true;
            else if (f == ' ')
                space = true;
            else if (f == '0')
                zero = true;
            else
                break;
        }
        size_t width = 0;
        while (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9')
            width = width * 10 + (fmt[i++] - '0');
        // A precision: the least digits of a number, the most characters of a text.
        bool hasPrecision = false;
        size_t precision = 0;
        if (i < fmt.size() && fmt[i] == '.') {
            hasPrecision = true;
            ++i;
            while (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9')
                precision = precision * 10 + (fmt[i++] - '0');
        }
        // Length modifiers change nothing here: every argument carries its own size.
        while (i < fmt.size() && (fmt[i] == 'l' || fmt[i] == 'h' || fmt[i] == 'z'))
            ++i;
        if (i >= fmt.size()) break;
        const char16_t conv = fmt[i];
        if (conv == '%') {
            out += u'%';
            continue;
        }
        const bool have = arg != args.end();
        const FormatArg* a = have ? &*arg++ : nullptr;
        std::u16string body, sign;
        switch (conv) {
            case 'd':
            case 'i': {
                const int64_t v = a && a->kind() != FormatArg::Kind::Text ? a->asSigned() : 0;
                body = digits(v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v), 10,
                              false);
                sign = v < 0 ? u"-" : plus ? u"+" : space ? u" " : u"";
                break;
            }
            case 'u':
            case 'x':
            case 'X': {
                uint64_t v = a && a->kind() != FormatArg::Kind::Text ? a->asUnsigned() : 0;
                if (a && a->kind() == FormatArg::Kind::Signed && a->asSigned() < 0)
                    v = static_cast<uint32_t>(a->asSigned());
                body = digits(v, conv == 'u' ? 10 : 16, conv == 'X');
                break;
            }
            case 's':
                body = a && a->kind() == FormatArg::Kind::Text ? std::u16string(a->text()) : u"";
                if (hasPrecision && body.size() > precision) body.resize(precision);
                break;
            case 'c':
                if (a && a->kind() != FormatArg::Kind::Text)
                    body = static_cast<char16_t>(a->asUnsigned());
                break;
            default:  // not a conversion we know: written as it stands
                out += u'%';
                out += conv;
                if (have) --arg;
                continue;
        }
        if (!have) continue;
        if (hasPrecision && conv != 's' && conv != 'c') {
            // "%.0d" of 0 prints no digits; otherwise zeros make up the precision.
            if (precision == 0 && body == u"0") body.clear();
            if (body.size() < precision) body.insert(0, precision - body.size(), u'0');
            zero = false;  // the precision's zeros replace the '0' flag
        }
        const size_t len = sign.size() + body.size();
        if (len >= width) {
            out += sign + body;
        } else if (left) {
            out += sign + body + std::u16string(width - len, u' ');
        } else if (zero && conv != 's' && conv != 'c') {
            out += sign + std::u16string(width - len, u'0') + body;
        } else {
            out += std::u16string(width - len, u' ') + sign + body;
        }
    }
    return out;
}

}  // namespace platform
