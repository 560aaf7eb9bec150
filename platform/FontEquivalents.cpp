#include "platform/FontEquivalents.h"

#include "platform/StringUtil.h"

namespace platform {

std::vector<std::u16string_view> fontEquivalents(std::u16string_view face) {
    // Sharp outlines first: signs show single pixels, and the Sharp face has hand-made bitmaps.
    if (equalsNoCase(face, u"\u5B8B\u4F53"))  // 宋体
        return {u"WenQuanYi Zen Hei Sharp", u"AR PL UMing CN", u"Noto Serif CJK SC",
                u"WenQuanYi Zen Hei"};
    if (equalsNoCase(face, u"\u9ED1\u4F53"))  // 黑体
        return {u"WenQuanYi Zen Hei", u"Noto Sans CJK SC", u"WenQuanYi Zen Hei Sharp"};
    if (equalsNoCase(face, u"\u5FAE\u8F6F\u96C5\u9ED1"))  // 微软雅黑
        return {u"WenQuanYi Micro Hei", u"WenQuanYi Zen Hei", u"Noto Sans CJK SC"};
    if (equalsNoCase(face, u"Arial") || equalsNoCase(face, u"Arial Baltic"))
        return {u"Liberation Sans", u"DejaVu Sans", u"FreeSans"};
    return {};
}

}  // namespace platform
