#include "flashtool/sim/SimulatedChipConfig.h"

#include <array>
#include <cctype>
#include <string_view>
#include <utility>
#include <vector>

namespace vornload {

namespace {

constexpr size_t vendorLength = 8;
constexpr size_t productLength = 16;

struct LoaderIdentification {
    std::string_view vendor;
    std::string_view product;
};

constexpr std::array<LoaderIdentification, 3> loaderIdentifications{{
    {"tz43", "uboot1.00"},
    {"tz43", "uboot2.00"},
    {"qk500", "uboot2.00"},
}};

std::string squeezeLower(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == ' ') continue;
        out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
    return out;
}

std::vector<std::string_view> splitCommas(std::string_view text) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        if (comma == std::string_view::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
}

bool parseHexId(std::string_view text, uint32_t& out) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 8) return false;
    uint32_t value = 0;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        const int digit = std::isdigit(static_cast<unsigned char>(c))
                              ? c - '0'
                              : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
        value = value * 16 + static_cast<uint32_t>(digit);
    }
    out = value;
    return true;
}

// The loader's identifications keep their two strings; any other text is split
// where a disk splits it, 8 characters of vendor and the rest as product.
bool applyIdentification(std::string_view text, SimulatedChipConfig& config, std::string& error) {
    if (text.empty() || text.size() > vendorLength + productLength) {
        error = "ident needs 1 to 24 characters";
        return false;
    }
    for (char c : text) {
        if (c <= ' ' || c > '~') {
            error = "ident takes printable characters without spaces";
            return false;
        }
    }
    const std::string lower = squeezeLower(text);
    for (const LoaderIdentification& known : loaderIdentifications) {
        if (lower == std::string(known.vendor) + std::string(known.product)) {
            config.vendor = known.vendor;
            config.product = known.product;
            return true;
        }
    }
    config.vendor = std::string(text.substr(0, vendorLength));
    config.product = text.size() > vendorLength ? std::string(text.substr(vendorLength)) : "";
    return true;
}

}  // namespace

bool isLoaderIdentification(const std::string& vendor, const std::string& product) {
    const std::string whole = squeezeLower(vendor) + squeezeLower(product);
    for (const LoaderIdentification& known : loaderIdentifications) {
        if (whole == std::string(known.vendor) + std::string(known.product)) return true;
    }
    return false;
}

bool parseSimulatedChip(const std::string& text, SimulatedChipConfig& out, std::string& error) {
    if (text.empty()) {
        error = "empty: give nor, nand or sd, then any of id=HEX, ident=TEXT, state=FILE";
        return false;
    }
    const std::vector<std::string_view> parts = splitCommas(text);
    SimulatedChipConfig config;
    const std::string_view kind = parts.front();
    if (kind == "nor") {
        config.medium = SimMedium::spiNor;
    } else if (kind == "nand") {
        config.medium = SimMedium::spiNand;
    } else if (kind == "sd") {
        config.medium = SimMedium::sd;
    } else {
        error = "unknown chip kind \"" + std::string(kind) + "\": use nor, nand or sd";
        return false;
    }
    bool haveId = false;
    bool haveIdent = false;
    bool haveState = false;
    for (size_t i = 1; i < parts.size(); ++i) {
        const std::string_view part = parts[i];
        const size_t equals = part.find('=');
        const std::string_view key = part.substr(0, equals);
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view{} : part.substr(equals + 1);
        if (equals == std::string_view::npos || (key != "id" && key != "ident" && key != "state")) {
            error = "unknown setting \"" + std::string(part) + "\": use id=HEX, ident=TEXT or " +
                    "state=FILE";
            return false;
        }
        bool& seen = key == "id" ? haveId : key == "ident" ? haveIdent : haveState;
        if (seen) {
            error = std::string(key) + " is given twice";
            return false;
        }
        seen = true;
        if (key == "id") {
            if (!parseHexId(value, config.flashId)) {
                error =
                    "id=" + std::string(value) + " is not a hexadecimal number of 1 to 8 digits";
                return false;
            }
        } else if (key == "ident") {
            if (!applyIdentification(value, config, error)) return false;
        } else {
            if (value.empty()) {
                error = "state needs a file name";
                return false;
            }
            config.stateFile = std::string(value);
        }
    }
    out = std::move(config);
    return true;
}

}  // namespace vornload
