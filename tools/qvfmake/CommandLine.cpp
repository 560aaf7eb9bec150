#include "tools/qvfmake/CommandLine.h"

#include <charconv>
#include <cstdint>
#include <cstdio>

namespace {

constexpr size_t kMaxRecords = 127;    // the file's count byte
constexpr int kMaxCell = 255;          // the record's size byte
constexpr size_t kMaxNameLength = 19;  // 20 bytes with the terminating zero

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

bool parseInt(std::string_view text, int lo, int hi, const std::string& option, int& value,
              std::string& error) {
    int v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
        error = option + " wants a whole number, not '" + std::string(text) + "'";
        return false;
    }
    if (v < lo || v > hi) {
        error = option + " " + std::string(text) + " is out of range (" + std::to_string(lo) +
                ".." + std::to_string(hi) + ")";
        return false;
    }
    value = v;
    return true;
}

// 0x4E00, U+4E00 or decimal.
bool parseCodePoint(std::string_view text, char32_t& cp, std::string& error) {
    text = trim(text);
    int base = 10;
    if (text.size() > 2 && (text.substr(0, 2) == "0x" || text.substr(0, 2) == "0X" ||
                            text.substr(0, 2) == "U+" || text.substr(0, 2) == "u+")) {
        text.remove_prefix(2);
        base = 16;
    }
    uint64_t v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, base);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
        error = "'" + std::string(text) + "' is not a code point (write 0x4E00, U+4E00 or 19968)";
        return false;
    }
    if (v > 0xFFFF) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "U+%04llX", static_cast<unsigned long long>(v));
        error = std::string(buf) + " cannot be stored: a .qvf holds only U+0000..U+FFFF";
        return false;
    }
    cp = static_cast<char32_t>(v);
    return true;
}

bool isSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}

std::string hex(char32_t c) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
    return buf;
}

}  // namespace

bool parseCodePointRanges(std::string_view text, bool& all, std::vector<CodePointRange>& ranges,
                          std::string& error) {
    ranges.clear();
    all = trim(text) == "all";
    if (all) return true;
    if (trim(text).empty()) {
        error = "--chars is empty (give ranges such as 0x20-0x7E, or all)";
        return false;
    }
    while (true) {
        const size_t comma = text.find(',');
        const std::string_view item = trim(text.substr(0, comma));
        if (item.empty()) {
            error = "--chars has an empty item";
            return false;
        }
        CodePointRange r;
        const size_t dash = item.find('-');
        if (!parseCodePoint(item.substr(0, dash), r.first, error)) return false;
        r.last = r.first;
        if (dash != std::string_view::npos && !parseCodePoint(item.substr(dash + 1), r.last, error))
            return false;
        if (r.first > r.last) {
            error = "the range " + std::string(item) + " runs backwards";
            return false;
        }
        if (isSurrogate(r.first) && isSurrogate(r.last)) {
            error = std::string(item) + " holds only surrogates (" + hex(r.first) + ".." +
                    hex(r.last) + "), which are no characters";
            return false;
        }
        ranges.push_back(r);
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    return true;
}

bool parseCommandLine(const std::vector<std::string>& args, CommandLine& line, std::string& error) {
    line = CommandLine{};
    // Which group options each record was given, to refuse repeats.
    struct Seen {
        bool size = false, cell = false, baseline = false, name = false, chars = false,
             face = false;
    };
    std::vector<Seen> seen;
    bool outputSeen = false;

    auto startRecord = [&](const std::string& path) {
        line.records.push_back(RecordRequest{});
        line.records.back().fontPath = path;
        seen.push_back(Seen{});
    };

    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (arg == "-h" || arg == "--help") {
            line.help = true;
            return true;
        }
        if (arg.empty()) {
            error = "an empty argument is no font file";
            return false;
        }
        if (arg[0] != '-') {
            startRecord(arg);
            continue;
        }
        // --option=value or --option value
        std::string value;
        bool haveValue = false;
        if (const size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.resize(eq);
            haveValue = true;
        }
        static const char* const kValued[] = {"-o",         "--output", "--font",
                                              "--size",     "--cell",   "--chars",
                                              "--baseline", "--name",   "--face-index"};
        bool known = false;
        for (const char* k : kValued)
            known = known || arg == k;
        if (!known) {
            error = "unknown option '" + arg + "'";
            return false;
        }
        if (!haveValue) {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return false;
            }
            value = args[++i];
        }

        if (arg == "-o" || arg == "--output") {
            if (outputSeen) {
                error = "the output file is given twice";
                return false;
            }
            if (value.empty()) {
                error = arg + " needs a file name";
                return false;
            }
            outputSeen = true;
            line.output = value;
            continue;
        }
        if (arg == "--font") {
            if (value.empty()) {
                error = "--font needs a file name";
                return false;
            }
            startRecord(value);
            continue;
        }
        if (line.records.empty()) {
            error = arg + " comes before any font file; give the font first, then its options";
            return false;
        }
        RecordRequest& r = line.records.back();
        Seen& s = seen.back();
        auto once = [&](bool& flag) {
            if (flag) error = arg + " is given twice for " + r.fontPath;
            const bool first = !flag;
            flag = true;
            return first;
        };
        if (arg == "--size") {
            if (!once(s.size) || !parseInt(value, 1, kMaxCell, arg, r.size, error)) return false;
        } else if (arg == "--cell") {
            if (!once(s.cell) || !parseInt(value, 1, kMaxCell, arg, r.cell, error)) return false;
        } else if (arg == "--baseline") {
            int b = 0;
            if (!once(s.baseline) || !parseInt(value, 0, kMaxCell, arg, b, error)) return false;
            r.baseline = b;
        } else if (arg == "--face-index") {
            if (!once(s.face) || !parseInt(value, 0, 65535, arg, r.faceIndex, error)) return false;
        } else if (arg == "--chars") {
            if (!once(s.chars)) return false;
            if (!parseCodePointRanges(value, r.allChars, r.ranges, error)) {
                error = "--chars for " + r.fontPath + ": " + error;
                return false;
            }
        } else if (arg == "--name") {
            if (!once(s.name)) return false;
            if (value.empty() || value.size() > kMaxNameLength) {
                error = "the font name '" + value + "' must be 1 to " +
                        std::to_string(kMaxNameLength) + " characters long";
                return false;
            }
            for (unsigned char c : value)
                if (c < 0x20 || c > 0x7E) {
                    error = "the font name '" + value + "' must be plain ASCII";
                    return false;
                }
            r.name = value;
        }
    }

    if (line.output.empty()) {
        error = "no output file (-o OUT.qvf)";
        return false;
    }
    if (line.records.empty()) {
        error = "no font file given";
        return false;
    }
    if (line.records.size() > kMaxRecords) {
        error = std::to_string(line.records.size()) + " fonts given; a .qvf holds at most " +
                std::to_string(kMaxRecords);
        return false;
    }
    for (RecordRequest& r : line.records) {
        if (r.size == 0) {
            error = "no --size for " + r.fontPath;
            return false;
        }
        if (r.name.empty()) {
            error = "no --name for " + r.fontPath;
            return false;
        }
        if (r.cell == 0) r.cell = r.size;
        if (r.baseline && *r.baseline > r.cell) {
            error = "--baseline " + std::to_string(*r.baseline) + " for " + r.fontPath +
                    " lies below the " + std::to_string(r.cell) + "-pixel cell";
            return false;
        }
    }
    return true;
}

std::string usageText() {
    return R"(Usage: qvfmake -o OUT.qvf FONT --size PX --name NAME [options] [FONT --size PX --name NAME [options]]...

Renders fonts that FreeType reads (PCF, PCF.GZ, BDF, TTF, TTC, OTF) at a pixel
size into the fixed-cell bitmap fonts of a .qvf file. Each FONT starts a font
record; the options after it, up to the next FONT, belong to that record.

  -o, --output OUT.qvf   the file to write (replaced only when all went well)
  FONT, --font FONT      the source font of the next record
  --size PX              pixel size to render at; bitmap fonts need a strike of
                         that size (required)
  --name NAME            the record's font name: ASCII, 1 to 19 characters
                         (required)
  --cell CELL            glyph width and height in the file (default: PX)
  --chars RANGES|all     code points to take, e.g. 0x20-0x7E,0xB0,U+4E00-U+9FFF
                         (default: all, every code point the font maps; only
                         U+0000..U+FFFF can be stored)
  --baseline ROW         cell rows above the baseline (default: the font's
                         ascender at that size)
  --face-index I         face in a collection such as a .ttc (default: 0)
  -h, --help             show this text

Glyphs are placed on the common baseline with the pen at the cell's left edge
(moved right for a negative bearing, left when the glyph would stick out on
the right); what still falls outside the cell is cut off.

Example:
  qvfmake -o song.qvf wenquanyi_12pt.pcf --size 16 --name "QV Song 16" \
          --chars 0x20-0x7E,0xA0-0xFF,0x3000-0x303F,0x4E00-0x9FFF --baseline 14
)";
}
