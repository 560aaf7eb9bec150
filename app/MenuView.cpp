#include "app/MenuView.h"

namespace {

char16_t lower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool isAsciiAlnum(char16_t c) {
    return (c >= u'0' && c <= u'9') || (lower(c) >= u'a' && lower(c) <= u'z');
}

// True when the text marks a mnemonic of its own ("&&" is a plain '&').
bool hasMnemonic(std::u16string_view text) {
    for (size_t k = 0; k + 1 < text.size(); ++k) {
        if (text[k] != u'&') continue;
        if (text[k + 1] != u'&') return true;
        ++k;
    }
    return false;
}

}  // namespace

std::u16string inlineMnemonic(std::u16string_view label) {
    const size_t n = label.size();
    if (n < 4 || label[n - 1] != u')' || label[n - 3] != u'&' || label[n - 4] != u'(' ||
        !isAsciiAlnum(label[n - 2]))
        return std::u16string(label);
    const char16_t key = lower(label[n - 2]);
    std::u16string base(label.substr(0, n - 4));
    while (!base.empty() && base.back() == u' ')
        base.pop_back();
    if (hasMnemonic(base)) return base;
    // A word's first letter reads best; any other place of the letter will do.
    size_t at = std::u16string::npos;
    for (size_t k = 0; k < base.size() && at == std::u16string::npos; ++k)
        if (lower(base[k]) == key && (k == 0 || base[k - 1] == u' ')) at = k;
    for (size_t k = 0; k < base.size() && at == std::u16string::npos; ++k)
        if (lower(base[k]) == key) at = k;
    if (at == std::u16string::npos) return std::u16string(label);
    base.insert(at, 1, u'&');
    return base;
}
