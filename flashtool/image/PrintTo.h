#pragma once

#include <iosfwd>

namespace vornload {

// printf-style output to the caller's stream, so the tool's lines keep their exact form.
void printTo(std::ostream& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace vornload
