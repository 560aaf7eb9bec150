#pragma once

#include <string_view>

namespace xml {

// The code point of a named character reference: the HTML 4 entity set plus
// "apos". Names are case-sensitive; 0 when the name is not known.
char32_t entityCodePoint(std::u16string_view name);

// How many names entityCodePoint knows.
std::size_t entityCount();

}  // namespace xml
