#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// One entry of a keyed list of interface texts: the text shown and its value.
struct TextListEntry {
    std::u16string text;
    std::u16string value;
};

// Where windows get their texts: looked up by key when they are shown. The
// language table implements it; libraries below it only see this.
class TextLookup {
public:
    virtual ~TextLookup() = default;
    // The text for the key; the key itself when there is none.
    virtual std::u16string text(std::u16string_view key) const = 0;
    // Every entry with the key, in the order of the language file.
    virtual std::vector<TextListEntry> list(std::u16string_view key) const = 0;
};

}  // namespace platform
