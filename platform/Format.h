#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace platform {

// One argument of format(): a number or a text.
class FormatArg {
public:
    FormatArg(int v) : m_kind(Kind::Signed), m_signed(v) {}
    FormatArg(long v) : m_kind(Kind::Signed), m_signed(v) {}
    FormatArg(long long v) : m_kind(Kind::Signed), m_signed(v) {}
    FormatArg(unsigned v) : m_kind(Kind::Unsigned), m_unsigned(v) {}
    FormatArg(unsigned long v) : m_kind(Kind::Unsigned), m_unsigned(v) {}
    FormatArg(unsigned long long v) : m_kind(Kind::Unsigned), m_unsigned(v) {}
    FormatArg(std::u16string_view v) : m_kind(Kind::Text), m_text(v) {}
    FormatArg(const std::u16string& v) : m_kind(Kind::Text), m_text(v) {}
    FormatArg(const char16_t* v) : m_kind(Kind::Text), m_text(v) {}

    enum class Kind { Signed, Unsigned, Text };
    Kind kind() const { return m_kind; }
    int64_t asSigned() const {
        return m_kind == Kind::Unsigned ? static_cast<int64_t>(m_unsigned) : m_signed;
    }
    uint64_t asUnsigned() const {
        return m_kind == Kind::Signed ? static_cast<uint64_t>(m_signed) : m_unsigned;
    }
    std::u16string_view text() const { return m_text; }

private:
    Kind m_kind;
    int64_t m_signed = 0;
    uint64_t m_unsigned = 0;
    std::u16string_view m_text;
};

// printf-style formatting into UTF-16, for the formats the program's texts use:
// %d %i %u %x %X %s %c %% with the flags '-', '+', ' ', '0', a width and a
// precision ("% 3u", "%02X", "+%d", "%s_%u", "IMG%.2d"). %u of a negative number shows it as 32
// bits, like the C library on the systems those formats come from. A missing argument formats as
// nothing; a text given to a number conversion formats as 0.
std::u16string format(std::u16string_view fmt, std::initializer_list<FormatArg> args);

}  // namespace platform
