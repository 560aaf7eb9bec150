#include "flashtool/run/RunOptions.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace vornload {

namespace {

bool startsWithNoCase(const std::string& text, const char* prefix) {
    for (size_t k = 0; prefix[k]; ++k)
        if (k >= text.size() || std::tolower(static_cast<unsigned char>(text[k])) != prefix[k])
            return false;
    return true;
}

// Leading digits only: strtoull would also take a sign or spaces, and "-1" would
// become the largest address.
uint32_t parseDigits(const std::string& text, int base) {
    if (text.empty() || !std::isxdigit(static_cast<unsigned char>(text[0]))) return 0;
    const unsigned long long v = std::strtoull(text.c_str(), nullptr, base);
    return static_cast<uint32_t>(std::min<unsigned long long>(v, 0xFFFFFFFFull));
}

// "A-L": A hexadecimal when it starts with "0x", L decimal with K, M or G.
bool parseRange(const std::string& text, uint32_t& address, uint64_t& length) {
    const size_t dash = text.find('-');
    if (dash == std::string::npos) return false;
    address = parseNumber(text.substr(0, dash), true);
    std::string l = text.substr(dash + 1);
    uint64_t unit = 1;
    if (!l.empty()) {
        const char last = static_cast<char>(std::toupper(static_cast<unsigned char>(l.back())));
        if (last == 'K') unit = 1ull << 10;
        if (last == 'M') unit = 1ull << 20;
        if (last == 'G') unit = 1ull << 30;
        if (unit != 1) l.pop_back();
    }
    const unsigned long long n = !l.empty() && std::isdigit(static_cast<unsigned char>(l[0]))
                                     ? std::strtoull(l.c_str(), nullptr, 10)
                                     : 0;
    // Bounded: a read of more than 4 GiB is no chip's storage.
    length = std::min<uint64_t>(n, 1ull << 32) * unit;
    length = std::min<uint64_t>(length, 1ull << 32);
    return true;
}

}  // namespace

uint32_t parseNumber(const std::string& text, bool lowerXOnly) {
    const bool hex =
        text.size() > 2 && text[0] == '0' && (text[1] == 'x' || (!lowerXOnly && text[1] == 'X'));
    return hex ? parseDigits(text.substr(2), 16) : parseDigits(text, 10);
}

ParseResult parseRunOptions(const std::vector<std::string>& args, RunOptions& o, std::ostream& out,
                            const std::function<bool(const std::string&)>& exists) {
    enum class Operands { none, ram, files } operands = Operands::none;
    std::string pendingRamFile;
    const auto value = [&](size_t& i, std::string& into) {
        if (i + 1 >= args.size()) return false;
        into = args[++i];
        return true;
    };
    const auto missing = [](const std::string& option) {
        return ParseResult{1, option + " needs a value\n"};
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.empty() || a[0] != '-') {
            if (operands == Operands::files) {
                if (!exists(a)) return {2, "ERROR : " + a + " not exist \r\n"};
                o.imageFiles.push_back(a);
            } else if (operands == Operands::ram) {
                if (pendingRamFile.empty()) {
                    pendingRamFile = a;
                } else {
                    // Hexadecimal from the first "0x" or "0X" on, wherever it stands.
                    const size_t at = std::min(a.find("0x"), a.find("0X"));
                    const uint32_t address = at != std::string::npos
                                                 ? parseDigits(a.substr(at + 2), 16)
                                                 : parseNumber(a);
                    o.ramDownloads.emplace_back(pendingRamFile, address);
                    pendingRamFile.clear();
                }
            } else {
                out << "unkonw cmd " << a << "\n";
            }
            continue;
        }
        if (a != "-tosdram" && a != "-f") operands = Operands::none;
        std::string v;
        if (a == "-tosdram") {
            operands = Operands::ram;
        } else if (a == "-f") {
            operands = Operands::files;
        } else if (a == "-aline" || a == "-go" || a == "-wait" || a == "-boot") {
            if (!value(i, v)) return missing(a);
            const uint32_t n = parseNumber(v);
            if (a == "-aline") o.alignment = n;
            if (a == "-go") o.goAddress = n;
            if (a == "-wait") o.waitMs = n;
            if (a == "-boot") {
                o.loaderAddress = n;
                o.loaderAddressGiven = true;
            }
        } else if (a == "-dev") {
            if (!value(i, o.device)) return missing(a);
        } else if (a == "-tonorflash" || a == "-tonandflash" || a == "-tosd" || a == "-todisk") {
            o.mode = a == "-tonorflash" ? 1 : a == "-tonandflash" ? 2 : a == "-tosd" ? 3 : 4;
        } else if (a == "-toflashfile" || a == "-tosdfile") {
            if (!value(i, v)) return missing(a);
            if (a == "-toflashfile" && v.find('-') != std::string::npos)
                return {1, "no outfile name\n"};
            o.mode = 6;
            o.storageKind = a == "-toflashfile" ? 3 : 2;
            o.outputFile = v;
        } else if (a == "-erase") {
            o.erase = true;
        } else if (a == "-read") {
            std::string range;
            if (!value(i, v) || !value(i, range)) return missing(a);
            o.mode = 5;
            o.outputFile = v;
            out << "output file name " << v << " \r\n";
            if (!parseRange(range, o.readAddress, o.readLength)) return {1, "-read needs A-L\n"};
        } else if (a == "-runaddr") {
            if (!value(i, v)) return missing(a);
            o.runAddress = parseNumber(v, true);
            o.runAddressGiven = true;
        } else if (a == "-wflash") {
            std::string address;
            if (!value(i, o.flashFile) || !value(i, address)) return missing(a);
            o.flashAddress = parseNumber(address, true);
            if (i + 1 < args.size() && !args[i + 1].empty() && args[i + 1][0] != '-')
                o.dataFlash = args[++i][0] == '1';
        } else if (a == "-resource") {
            if (!value(i, o.resourceFolder)) return missing(a);
            if (i + 1 < args.size() && !args[i + 1].empty() && args[i + 1][0] != '-')
                o.resourceAlignment = parseNumber(args[++i], true);
        } else if (a == "-updata") {
            // Accepted for the scripts that pass it; it changes nothing.
        } else if (startsWithNoCase(a, "-div")) {
            const unsigned long long n = std::isdigit(static_cast<unsigned char>(a[4]))
                                             ? std::strtoull(a.c_str() + 4, nullptr, 10)
                                             : 0;
            o.divider = static_cast<uint32_t>(std::min<unsigned long long>(n, 255));
        } else if (startsWithNoCase(a, "-w")) {
            const long n = std::strtol(a.c_str() + 2, nullptr, 10);
            o.alertMode = n == 0 ? 18 : n == 1 ? 16 : 17;
        } else {
            out << "unkonw cmd " << a << "\n";
        }
    }
    return {};
}

}  // namespace vornload
