#pragma once

#include <QString>

#include <string_view>

namespace platform {

// The core's UTF-16 text as Qt's; the one conversion every Qt face uses.
inline QString toQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace platform
