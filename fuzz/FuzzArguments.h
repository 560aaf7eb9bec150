#pragma once

// Arbitrary bytes as a command line: one argument per NUL- or newline-separated
// piece, at most `maxArgs` of them (the first is where a program's name goes).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzzargs {

inline std::vector<std::string> split(const uint8_t* data, size_t size, size_t maxArgs) {
    std::vector<std::string> args(1);
    for (size_t k = 0; k < size; ++k) {
        if (data[k] == 0 || data[k] == '\n') {
            if (args.size() == maxArgs) break;
            args.emplace_back();
        } else {
            args.back().push_back(static_cast<char>(data[k]));
        }
    }
    return args;
}

}  // namespace fuzzargs
