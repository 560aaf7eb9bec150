#include "flashtool/image/PrintTo.h"

#include <cstdarg>
#include <cstdio>
#include <ostream>
#include <vector>

namespace vornload {

void printTo(std::ostream& out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int needed = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (needed > 0) {
        std::vector<char> text(static_cast<size_t>(needed) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        out.write(text.data(), needed);
    }
    va_end(again);
}

}  // namespace vornload
