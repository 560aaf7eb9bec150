#pragma once

#include <cstdint>
#include <span>
#include <string_view>

// The encoding names that XML declarations and HTML meta tags use, with the
// Windows code page each one stands for.
namespace xml {

struct EncodingName {
    std::string_view name;  // lower case
    uint32_t codePage;
};

// Every known name, sorted by name.
std::span<const EncodingName> encodingNames();

// The code page of an encoding name, compared without regard to case (ASCII);
// 0 when the name is not known.
uint32_t codePageOfEncoding(std::u16string_view name);

}  // namespace xml
